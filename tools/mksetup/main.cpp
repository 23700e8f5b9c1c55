// mksetup: builds installer and patch programs from a manifest, and lists,
// verifies and extracts existing ones.
#include <CLI/CLI.hpp>

#include "commands.h"
#include "diff_command.h"
#include "manifest.h"
#include "utf8_args.h"

int main(int argc, char** argv) {
  mksetup::Utf8Arguments args(argc, argv);
  CLI::App app{"mksetup: builds installer and patch programs (stub + payload + trailer)"};
  app.require_subcommand(1);
  app.allow_windows_style_options(false); // "/x" is a path, as on Linux

  mksetup::BuildOptions build;
  CLI::App* buildCmd =
      app.add_subcommand("build", "Build an installer or patch program from a manifest");
  buildCmd->add_option("MANIFEST", build.manifest, "The manifest (TOML)")->required();
  buildCmd->add_option("-o,--output", build.output,
                       "The program to write (default: the manifest's name with .exe, in the "
                       "current folder)");
  buildCmd->add_option("--stub", build.stub,
                       "The stub program the archive is appended to: a path, or x86 (the "
                       "shipping 32-bit stub) or x64, installed with mksetup in " +
                           mksetup::StubFolder() + " (default: $MKSETUP_STUB, else x86)");
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

  mksetup::DiffOptions diff;
  CLI::App* diffCmd = app.add_subcommand(
      "diff", "Build a patch that carries the files NEW_DIR adds to or changes from OLD_DIR");
  diffCmd->add_option("OLD_DIR", diff.oldDir, "The release that is installed")
      ->required()
      ->check(mksetup::ExistingFolder());
  diffCmd->add_option("NEW_DIR", diff.newDir, "The release the patch brings")
      ->required()
      ->check(mksetup::ExistingFolder());
  diffCmd->add_option("-o,--output", diff.output, "The patch program to write");
  diffCmd->add_option("--stub", diff.stub, "The stub program (as for build)");
  diffCmd->add_option("--caption", diff.caption, "Title of the patch window")->required();
  diffCmd->add_option("--product", diff.product, "Product name: the installation to patch")
      ->required();
  diffCmd->add_option("--version", diff.version, "The product version after the patch")
      ->required()
      ->check(CLI::Range(0, 65535));
  diffCmd->add_option("--license", diff.license, "Text file (UTF-8) shown for acceptance");
  diffCmd->add_option("--readme", diff.readme,
                      "A file of NEW_DIR offered to open at the end (it need not change)");
  diffCmd->add_option("--compression", diff.compression, "The payload's codec: zstd or huf")
      ->capture_default_str();
  diffCmd->add_option("--level", diff.level, "zstd level: 1..19 (default 19) or max");
  diffCmd->add_flag("-n,--dry-run", diff.dryRun,
                    "Only list the files the patch would carry, and how");
  diffCmd->add_flag("--no-delta", diff.noDelta, "Carry changed files whole, not as deltas");
  diffCmd
      ->add_option("--architecture", diff.architecture,
                   "The product's programs: x86 or x64 (64-bit Program Files and registry)")
      ->capture_default_str();
  diffCmd
      ->add_option("--scope", diff.scope,
                   "machine, or user: the patch of a per-user product, without elevation")
      ->capture_default_str();
  diffCmd->add_option("--display-version", diff.displayVersion,
                      "What the list of installed programs shows (default: --version)");
  diffCmd->footer("Both folder trees are compared: the files that are new or whose bytes\n"
                  "changed are carried, anywhere in the tree, under their paths below NEW_DIR\n"
                  "(\"bin\\app.exe\"). Names match ignoring letter case; files missing from\n"
                  "NEW_DIR stay installed. A file that became a folder (or the reverse) is an\n"
                  "error. A changed file travels as a zstd delta against the installed one\n"
                  "when that is smaller (both together at most 256 MiB); the patch then\n"
                  "applies only where the installed file has the size and SHA-256 it had.");

  CLI11_PARSE(app, args.Count(), args.Words());
  if (*diffCmd) {
    if (diff.output.empty() && !diff.dryRun) {
      mksetup::ReportError("diff: --output is required unless --dry-run is given");
      return 1;
    }
    return mksetup::RunDiff(diff);
  }
  if (*buildCmd) return mksetup::RunBuild(build);
  if (*listCmd) return mksetup::RunList(program, json);
  if (*extractCmd) return mksetup::RunExtract(program, dir);
  return mksetup::RunVerify(program);
}
