// The wizard's pages, the license on the way to the directory page, and
// cancelling on every page.
#include "res/resource.h"
#include "setup_fixture.h"

namespace setup_e2e {
namespace {

const std::string kLicense =
    "Lizenzvertrag\r\n\r\n1. Nutzung: nur f\xFCr Tests.\r\n2. Keine Gew\xE4hr.";
const std::string kDeclineQuestion =
    "Wenn Sie die Lizenzbedingungen nicht akzeptieren, kann das Produkt nicht installiert werden. "
    "Soll das Setup jetzt beendet werden?";

class WizardTest : public SetupTest {
protected:
  // Clicks "Weiter" on the welcome page and waits for the license.
  Window OpenLicense(const Window& dlg) {
    EXPECT_TRUE(Shows(dlg, Welcome()));
    EXPECT_TRUE(dlg.Click(IDOK));
    Window license = Running().WaitForDialog("Lizenz");
    EXPECT_TRUE(license) << "no license dialog";
    return license;
  }
  // Nothing of the product anywhere: no target, no key, no temporary files.
  void ExpectNothingInstalled() {
    EXPECT_EQ(GetFileAttributesA(Target().c_str()), INVALID_FILE_ATTRIBUTES);
    HKEY key;
    EXPECT_NE(RegOpenKeyA(HKEY_CURRENT_USER, ("Software\\Tarnivex\\" + m_product).c_str(), &key),
              ERROR_SUCCESS);
    EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{});
  }
};

TEST_F(WizardTest, FreshInstallWithoutLicenseWalksEveryPage) {
  Build(Installer(), {ProductProgram(), Source("daten.txt", "Daten")});
  Window dlg = Start();
  EXPECT_TRUE(Shows(dlg, Welcome()));
  EXPECT_EQ(dlg.ItemText(IDC_BROWSE), "Durchsuchen");
  EXPECT_EQ(GoToDirectoryPage(dlg), ProgramFilesDir() + "\\" + m_product);
  InstallInto(dlg, Target());
  EXPECT_TRUE(Shows(dlg, FinishPage(false)));
  Close(dlg);
  EXPECT_EQ(Running().SeenDialogs(), std::vector<std::string>{kCaption}) << "no license expected";
  EXPECT_EQ(Running().SeenMessageBoxes(), std::vector<std::string>{});
  EXPECT_EQ(e2e::ReadFileBytes(Target() + "\\daten.txt"), "Daten");
  EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{});
}

TEST_F(WizardTest, AcceptedLicenseLeadsToTheDirectoryPageAndTheInstallation) {
  archive::ArchiveTrailer t = Installer();
  t.licenseText = kLicense;
  Build(t, {ProductProgram()});
  Window dlg = Start();
  Window license = OpenLicense(dlg);
  EXPECT_EQ(license.ItemText(IDC_LICENSE_TEXT), kLicense);
  EXPECT_TRUE(GetWindowLongA(license.Item(IDC_LICENSE_TEXT).Handle(), GWL_STYLE) & ES_READONLY);
  EXPECT_EQ(license.ItemText(IDOK), "Ich akzeptiere die Lizenzbestimmungen");
  EXPECT_EQ(license.ItemText(IDCANCEL), "Ich lehne die Lizenzebestimmungen ab");
  EXPECT_TRUE(license.Click(IDOK));
  EXPECT_TRUE(Shows(dlg, DirectoryPage()));
  InstallInto(dlg, Target());
  EXPECT_TRUE(Shows(dlg, FinishPage(false)));
  Close(dlg);
  EXPECT_EQ(Running().SeenMessageBoxes(), std::vector<std::string>{}) << "accepted without asking";
  EXPECT_EQ(FilesIn(Target()),
            (std::vector<std::string>{"install.log", "prog.exe", "started.txt"}));
}

TEST_F(WizardTest, DeclineAnsweredNoKeepsTheLicenseOpen) {
  archive::ArchiveTrailer t = Installer();
  t.licenseText = kLicense;
  Build(t);
  Window dlg = Start();
  Window license = OpenLicense(dlg);
  EXPECT_TRUE(license.Click(IDCANCEL));
  ExpectBox(kAppName, kDeclineQuestion, IDNO);
  EXPECT_TRUE(license.Visible());
  EXPECT_TRUE(license.Click(IDOK));
  EXPECT_TRUE(Shows(dlg, DirectoryPage()));
  EXPECT_TRUE(dlg.Click(IDCANCEL));
  ExpectBox(kCaption, Text(IDS_CANCEL_SETUP, m_product), IDYES);
  EXPECT_TRUE(Running().WaitForExit());
}

TEST_F(WizardTest, DeclineByButtonOrEscapeEndsTheSetupWithoutWriting) {
  archive::ArchiveTrailer t = Installer();
  t.licenseText = kLicense;
  Build(t, {ProductProgram()});
  for (bool escape : {false, true}) {
    SCOPED_TRACE(escape ? "Escape" : "decline button");
    Window dlg = Start();
    Window license = OpenLicense(dlg);
    EXPECT_TRUE(escape ? license.PressKey(VK_ESCAPE) : license.Click(IDCANCEL));
    ExpectBox(kAppName, kDeclineQuestion, IDYES);
    EXPECT_TRUE(Running().WaitForExit());
    EXPECT_EQ(Running().SeenDialogs(), (std::vector<std::string>{kCaption, "Lizenz"}));
    ExpectNothingInstalled();
  }
}

TEST_F(WizardTest, CancelAnsweredNoKeepsThePageAndYesEndsTheSetupOnEveryPage) {
  Build(Installer(), {ProductProgram(), Source("daten.txt", "Daten")});
  for (int page = 1; page <= 3; ++page) {
    SCOPED_TRACE("page " + std::to_string(page));
    Window dlg = Start();
    Page shown = Welcome();
    if (page >= 2) {
      GoToDirectoryPage(dlg);
      dlg.SetItemText(IDC_EDIT_DIR, Target());
      shown = DirectoryPage();
    }
    if (page == 3) {
      InstallInto(dlg, Target());
      shown = FinishPage(false);
    }
    ASSERT_TRUE(Shows(dlg, shown));
    // On the finish page the cancel button is hidden; Escape still asks.
    auto cancel = [&] { return page == 3 ? dlg.PressKey(VK_ESCAPE) : dlg.Click(IDCANCEL); };
    EXPECT_TRUE(cancel());
    ExpectBox(kCaption, Text(IDS_CANCEL_SETUP, m_product), IDNO);
    EXPECT_TRUE(Shows(dlg, shown));
    if (page == 2) {
      EXPECT_EQ(dlg.ItemText(IDC_EDIT_DIR), Target()) << "typed text kept";
    }
    EXPECT_TRUE(cancel());
    ExpectBox(kCaption, Text(IDS_CANCEL_SETUP, m_product), IDYES);
    EXPECT_TRUE(Running().WaitForExit());
    EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{});
    HKEY key;
    EXPECT_NE(RegOpenKeyA(HKEY_CURRENT_USER, ("Software\\Tarnivex\\" + m_product).c_str(), &key),
              ERROR_SUCCESS)
        << "the key is written by the finish actions only";
    if (page == 3) {
      EXPECT_EQ(FilesIn(Target()), (std::vector<std::string>{"daten.txt", "prog.exe"}))
          << "no log moved, no product started";
    }
  }
}

TEST_F(WizardTest, CancelDuringTheInstallationStopsItAndRemovesTheTemporaryFiles) {
  // Enough data that the installation is still running when the cancel is seen.
  std::vector<e2e::Payload> files;
  std::string block(4 << 20, '\0');
  uint32_t seed = 12345;
  for (int i = 0; i < 6; ++i) {
    for (char& c : block) c = char((seed = seed * 1103515245u + 12345u) >> 24);
    files.push_back(Source("teil" + std::to_string(i) + ".bin", block));
  }
  Build(Installer(), files);
  Window dlg = Start();
  GoToDirectoryPage(dlg);
  dlg.SetItemText(IDC_EDIT_DIR, Target());
  // "Abbrechen" right behind "Weiter": it is handled inside the installation.
  EXPECT_TRUE(dlg.Click(IDOK));
  EXPECT_TRUE(dlg.Click(IDCANCEL));
  ExpectBox(kCaption, Text(IDS_CANCEL_SETUP, m_product), IDYES);
  EXPECT_TRUE(Running().WaitForExit(30000));
  EXPECT_EQ(GetFileAttributesA((Target() + "\\teil5.bin").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(FilesIn(TempFolder()), std::vector<std::string>{});
  EXPECT_EQ(Running().SeenMessageBoxes(), std::vector<std::string>{kCaption}) << "no error shown";
}

} // namespace
} // namespace setup_e2e
