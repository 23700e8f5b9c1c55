#include "folder_walk.h"

#include <algorithm>

#include "cp1252.h"
#include "entry_tree.h"
#include "file_names.h"

namespace fs = std::filesystem;

namespace mksetup {

namespace {

std::string Utf8Of(const fs::path& path) {
  const std::u8string text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}

class Walker {
public:
  explicit Walker(FolderWalk& walk) : m_walk(walk) {}

  void Walk(const fs::path& folder, const std::string& relative, const std::string& name) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) Visit(*it, relative, name);
    if (ec) Error(folder, "cannot read the folder (" + ec.message() + ")");
  }

private:
  void Visit(const fs::directory_entry& entry, const std::string& relative,
             const std::string& name) {
    const std::string part = Utf8Of(entry.path().filename());
    const std::string childRelative = relative + part;
    std::string childName, bad;
    std::string problem;
    if (!Utf8ToCp1252(part, childName, bad)) problem = bad + " cannot be written in code page 1252";
    childName = name + childName;

    std::error_code ec;
    const fs::file_status link = entry.symlink_status(ec);
    const fs::file_status target = entry.status(ec);
    if (fs::is_directory(link)) {
      if (problem.empty()) problem = CheckWindowsFileName(childName.substr(name.size()));
      if (!problem.empty()) {
        // Nothing below a folder of that name can be carried.
        return Error(entry.path(), problem);
      }
      return Walk(entry.path(), childRelative + "/", childName + "\\");
    }
    if (fs::is_symlink(link) && fs::is_directory(target))
      return Error(entry.path(), "is a link to a folder; links to folders are not followed");
    if (fs::is_symlink(link) && !fs::exists(target)) return Error(entry.path(), "is a broken link");
    if (!fs::is_regular_file(target)) return Error(entry.path(), "is neither a file nor a folder");
    if (problem.empty()) problem = CheckWindowsPath(childName);
    WalkedFile file{entry.path(), childRelative, problem.empty() ? childName : "", problem};
    m_walk.files.push_back(std::move(file));
  }

  void Error(const fs::path& path, const std::string& what) {
    m_walk.errors.push_back(DisplayPath(path) + ": " + what);
  }

  FolderWalk& m_walk;
};

} // namespace

FolderWalk WalkFolder(const fs::path& root) {
  FolderWalk walk;
  Walker(walk).Walk(root, "", "");
  std::sort(walk.files.begin(), walk.files.end(), [](const WalkedFile& a, const WalkedFile& b) {
    if (a.name.empty() != b.name.empty()) return b.name.empty();
    if (!a.name.empty()) return EntryNameLess(a.name, b.name);
    return a.relative < b.relative;
  });
  return walk;
}

std::string DisplayPath(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

} // namespace mksetup
