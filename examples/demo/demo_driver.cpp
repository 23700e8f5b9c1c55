// Steps through an installer's wizard by itself, as a user who accepts
// every proposal would, and saves a picture of every page and question:
//   demo_driver SETUP.EXE WORKDIR SHOTDIR
#include <cstdio>
#include <string>

#include "../../tests/e2e/driver.h"
#include "screenshot.h"

namespace {

constexpr int kNext = 1;
constexpr int kPageText = 1000;
constexpr int kShortcutDesktop = 1006;

class Photographer {
public:
  explicit Photographer(std::string folder) : m_folder(std::move(folder)) {}
  void Take(const e2e::Window& window, const std::string& what) {
    // Let the window finish painting before it is photographed.
    RedrawWindow(window.Handle(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(300);
    char name[64];
    std::snprintf(name, sizeof(name), "%02d-%s.bmp", ++m_count, what.c_str());
    if (SaveWindowBitmap(window.Handle(), m_folder + "\\" + name)) std::printf("%s\n", name);
  }

private:
  std::string m_folder;
  int m_count = 0;
};

} // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: demo_driver SETUP.EXE WORKDIR SHOTDIR\n");
    return 2;
  }
  e2e::Program setup(argv[1], argv[2]);
  if (!setup.Started()) {
    std::fprintf(stderr, "cannot start %s\n", argv[1]);
    return 1;
  }
  Photographer camera(argv[3]);
  e2e::Window wizard = setup.WaitForDialog();
  if (!wizard) {
    std::fprintf(stderr, "no wizard window appeared\n");
    return 1;
  }
  std::string wizardCaption = wizard.Text();
  std::string lastPage;
  int pages = 0;
  bool installingShot = false;

  while (!setup.WaitForExit(100)) {
    for (const e2e::Window& dlg : setup.Dialogs()) {
      if (dlg.IsMessageBox()) {
        camera.Take(dlg, "frage");
        if (!e2e::Program::Answer(dlg, IDYES)) e2e::Program::Answer(dlg, IDOK);
      } else if (dlg.Handle() != wizard.Handle() && dlg.Item(kShortcutDesktop)) {
        camera.Take(dlg, "verknuepfungen");
        dlg.Click(kNext);
      } else if (dlg.Handle() != wizard.Handle()) {
        camera.Take(dlg, "lizenz");
        dlg.Click(kNext);
      } else {
        continue;
      }
      Sleep(200);
    }
    if (!wizard) continue;
    std::string page = wizard.ItemText(kPageText);
    if (!wizard.ItemEnabled(kNext)) {
      if (!installingShot) camera.Take(wizard, "installation");
      installingShot = true;
      continue;
    }
    if (page == lastPage) continue;
    lastPage = page;
    camera.Take(wizard, "seite-" + std::to_string(++pages));
    wizard.Click(kNext);
    Sleep(200);
  }
  std::printf("wizard \"%s\" ended with exit code %lu\n", wizardCaption.c_str(), setup.ExitCode());
  return 0;
}
