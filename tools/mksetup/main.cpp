// mksetup: builds installer and patch programs from a manifest, and lists,
// verifies and extracts existing ones.
#include <CLI/CLI.hpp>

#include "commands.h"
#include "manifest.h"

int main(int argc, char** argv) {
  CLI::App app{"mksetup: builds installer and patch programs (stub + payload + trailer)"};
  app.require_subcommand(1);

  mksetup::BuildOptions build;
  CLI::App* buildCmd =
      app.add_subcommand("build", "Build an installer or patch program from a manifest");
  buildCmd->add_option("MANIFEST", build.manifest, "The manifest (TOML)")->required();
  buildCmd->add_option("-o,--output", build.output,
                       "The program to write (default: the manifest's name with .exe, in the "
                       "current folder)");
  buildCmd->add_option("--stub", build.stub,
                       "The stub program the archive is appended to (default: $MKSETUP_STUB, "
                       "else " +
                           mksetup::ConfiguredStub() + ")");
  buildCmd->footer(mksetup::kManifestHelp);

  std::string program;
  bool json = false;
  CLI::App* listCmd =
      app.add_subcommand("list", "Show a program's kind, version, texts, options and entries");
  listCmd->add_option("PROGRAM", program, "The installer or patch program")->required();
  listCmd->add_flag("--json", json, "Print JSON");

  std::string dir;
  CLI::App* extractCmd =
      app.add_subcommand("extract", "Write every entry of a program, decoded, into a folder");
  extractCmd->add_option("PROGRAM", program, "The installer or patch program")->required();
  extractCmd->add_option("-d,--dir", dir, "The folder to write into (created if missing)")
      ->required();

  CLI::App* verifyCmd = app.add_subcommand(
      "verify", "Check a program's structure and decode its payload; exit 0 only when sound");
  verifyCmd->add_option("PROGRAM", program, "The installer or patch program")->required();

  CLI11_PARSE(app, argc, argv);
  if (*buildCmd) return mksetup::RunBuild(build);
  if (*listCmd) return mksetup::RunList(program, json);
  if (*extractCmd) return mksetup::RunExtract(program, dir);
  return mksetup::RunVerify(program);
}
