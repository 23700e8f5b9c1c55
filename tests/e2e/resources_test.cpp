// The resources as the program loads them: every text in code page 1252 byte
// for byte, and the dialog templates control by control.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "res/resource.h"

namespace {

// Code page 1252: \xE4 ä, \xF6 ö, \xFC ü, \xDF ß.
const char* const kStrings[25] = {
    "Die Installer-Datei konnte nicht ge\xF6"
    "ffnet werden\nGrund: \"%s\"",
    "Wollen Sie das Setup Programm wirklich beenden?\n\"%s\" ist nicht vollst\xE4ndig installiert.",
    "Willkommen zu der Installation von \"%s\". Klicken Sie auf \"Weiter\" zum fortfahren. Mit "
    "\"Abbrechen\" k\xF6nnen Sie das Setup beenden.",
    "Bitte geben Sie hier das Verzeichnis an, in das \"%s\" installiert werden soll.",
    "W\xE4hlen Sie das Verzeichnis aus, in das \"%s\" installiert werden soll.",
    "Es wurde das Macromedia-Flash-Plugin Version VEROLD gefunden.\nDiese Anwendung ben\xF6tigt "
    "aber Version VERNEW.\nSoll diese Version jetzt installiert werden?",
    "Es wurde kein Macromedia-Flash-Plugin gefunden.\nDiese Anwendung ben\xF6tigt aber Version "
    "VERNEW.\nSoll diese Version jetzt installiert werden?",
    "Setup installiert jetzt \"%s\". Bitte haben Sie einen Moment Geduld, bis dieser Vorgang "
    "abgeschlossen ist.",
    "Setup hat \"%s\" erfolgreich auf Ihrem Computer installiert. Wir w\xFCnschen viel Spa\xDF.",
    "Soll eine Verkn\xFCpfung auf dem Desktop zu \"%s\" angelegt werden?",
    "Setup extrahiert Dateien. Dieser Vorgang kann einige Minuten dauern.",
    "Das Verzeichnis \"%s\" kann nicht erstellt werden. Bitte stellen Sie sicher, da\xDF der "
    "Datentr\xE4ger weder voll noch schreibgesch\xFCtzt ist und starten Sie Setup erneut.",
    "Diese Anwendung ist ohne das Macromedia-Flash-Plugin nicht lauff\xE4hig. Die Installation "
    "wurde abgebrochen.",
    "Das Programm wurde ordnungsgem\xE4\xDF installiert, allerdings trat ein Fehler bei der "
    "Installation des Macromedia-Flash-Plugins auf.Eventuell funktioniert das Programm trotzdem. "
    "Sollte es dies nicht tun, f\xFChren Sie das Setup bitte erneut aus. Alternativ k\xF6nnen Sie "
    "auch manuell das aktuellste Flash-Plugin von https://get.adobe.com/flashplayer/ "
    "herunterladen und installieren.",
    "Das Verzeichnis \"%s\" existiert bereits. Soll trotzdem in dieses Verzeichnis installiert "
    "werden?",
    "ReadMe Datei zu \"%s\" anzeigen",
    "Die Readme Datei \"%s\" kann nicht angezeigt werden. Wahrscheinlich ist der Dateityp nicht "
    "bekannt",
    "Schliessen",
    "Startmen\xFC Eintrag erstellen",
    "Verkn\xFCpfungen zu \"%s\"",
    "Uninstall",
    "Readme",
    "Desktop-Verkn\xFCpfung erstellen",
    "Wollen Sie das Setup Programm wirklich beenden?\nDer Patch f\xFCr \"%s\" ist nicht "
    "vollst\xE4ndig installiert.",
    "Willkommen zu dem Patch auf \"%s\". Klicken Sie auf \"Weiter\" zum fortfahren. Mit "
    "\"Abbrechen\" k\xF6nnen Sie das Setup beenden.",
};

TEST(Resources, EveryStringLoadsInCodePage1252ByteForByte) {
  ASSERT_EQ(GetACP(), 1252u) << "the tests need an ANSI code page of 1252";
  for (UINT id = 1; id <= 25; ++id) {
    char buf[2048];
    int len = LoadStringA(GetModuleHandleA(nullptr), id, buf, sizeof(buf));
    EXPECT_EQ(std::string(buf, len > 0 ? size_t(len) : 0), kStrings[id - 1]) << "string " << id;
  }
  char buf[16];
  EXPECT_EQ(LoadStringA(GetModuleHandleA(nullptr), 26, buf, sizeof(buf)), 0) << "only 25 texts";
}

TEST(Resources, IconAndVersionArePresent) {
  EXPECT_NE(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME)), nullptr);
  EXPECT_NE(FindResourceA(nullptr, MAKEINTRESOURCEA(VS_VERSION_INFO), MAKEINTRESOURCEA(16)),
            nullptr);
}

// One control or the dialog itself, as stored in a DIALOGEX template.
struct Item {
  DWORD style = 0, exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  int id = 0;
  std::string cls, text; // code page 1252
};

struct Template {
  Item dialog;
  int pointSize = 0;
  std::string font;
  std::vector<Item> items;
};

class Reader {
public:
  explicit Reader(const BYTE* p) : m_base(p), m_p(p) {}
  WORD Word() {
    WORD w;
    memcpy(&w, m_p, 2);
    m_p += 2;
    return w;
  }
  DWORD Dword() {
    DWORD d;
    memcpy(&d, m_p, 4);
    m_p += 4;
    return d;
  }
  short Short() { return short(Word()); }
  // A string or ordinal field; ordinals of the predefined classes by name.
  std::string SzOrOrd() {
    WORD first = Word();
    if (first == 0) return std::string();
    if (first == 0xFFFF) {
      switch (WORD ord = Word()) {
      case 0x80:
        return "Button";
      case 0x81:
        return "Edit";
      case 0x82:
        return "Static";
      default:
        return "#" + std::to_string(ord);
      }
    }
    m_p -= 2;
    return Sz();
  }
  std::string Sz() {
    std::wstring w;
    for (WORD c; (c = Word()) != 0;) w.push_back(wchar_t(c));
    char out[4096] = "";
    int n =
        WideCharToMultiByte(1252, 0, w.data(), int(w.size()), out, sizeof(out), nullptr, nullptr);
    return std::string(out, n > 0 ? size_t(n) : 0);
  }
  void Skip(size_t n) { m_p += n; }
  void AlignDword() { m_p = m_base + ((m_p - m_base + 3) & ~size_t(3)); }

private:
  const BYTE* m_base;
  const BYTE* m_p;
};

Template LoadTemplate(int id) {
  Template t;
  HRSRC res = FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5) /* RT_DIALOG */);
  if (!res) return t;
  Reader r(static_cast<const BYTE*>(LockResource(LoadResource(nullptr, res))));
  EXPECT_EQ(r.Word(), 1);      // dlgVer
  EXPECT_EQ(r.Word(), 0xFFFF); // DIALOGEX
  r.Dword();                   // help id
  t.dialog.exStyle = r.Dword();
  t.dialog.style = r.Dword();
  int count = r.Word();
  t.dialog.x = r.Short(), t.dialog.y = r.Short(), t.dialog.cx = r.Short(), t.dialog.cy = r.Short();
  r.SzOrOrd(); // menu
  t.dialog.cls = r.SzOrOrd();
  t.dialog.text = r.Sz();
  if (t.dialog.style & DS_SETFONT) {
    t.pointSize = r.Word();
    r.Word();  // weight
    r.Skip(2); // italic, charset
    t.font = r.Sz();
  }
  for (int i = 0; i < count; ++i) {
    r.AlignDword();
    Item item;
    r.Dword(); // help id
    item.exStyle = r.Dword();
    item.style = r.Dword();
    item.x = r.Short(), item.y = r.Short(), item.cx = r.Short(), item.cy = r.Short();
    item.id = int(r.Dword());
    item.cls = r.SzOrOrd();
    item.text = r.SzOrOrd();
    r.Skip(r.Word()); // creation data
    t.items.push_back(item);
  }
  return t;
}

struct Expected {
  int id;
  const char* cls;
  const char* text;
  int x, y, cx, cy;
  DWORD style; // bits that must be set
};

void ExpectItems(const Template& t, const std::vector<Expected>& expected) {
  ASSERT_EQ(t.items.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const Item& got = t.items[i];
    const Expected& want = expected[i];
    SCOPED_TRACE("control " + std::to_string(want.id));
    EXPECT_EQ(got.id, want.id);
    EXPECT_STRCASEEQ(got.cls.c_str(), want.cls);
    EXPECT_EQ(got.text, want.text);
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.cx, want.cx);
    EXPECT_EQ(got.cy, want.cy);
    EXPECT_EQ(got.style & (want.style | WS_VISIBLE | WS_CHILD), want.style | WS_VISIBLE | WS_CHILD);
  }
}

void ExpectFrame(const Template& t, const char* caption, int cx, int cy, DWORD style,
                 DWORD exStyle) {
  EXPECT_EQ(t.dialog.text, caption);
  EXPECT_EQ(t.dialog.cx, cx);
  EXPECT_EQ(t.dialog.cy, cy);
  EXPECT_EQ(t.font, "MS Sans Serif");
  EXPECT_EQ(t.pointSize, 8);
  EXPECT_EQ(t.dialog.style & style, style);
  EXPECT_EQ(t.dialog.style & WS_SYSMENU, 0u) << "no system menu";
  EXPECT_EQ(t.dialog.exStyle & exStyle, exStyle);
}

const DWORD kWizardStyle =
    WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_CENTER | DS_SETFOREGROUND | DS_3DLOOK;

TEST(Resources, SetupTemplate) {
  Template t = LoadTemplate(IDD_SETUP_DIALOG);
  ExpectFrame(t, "Trevano", 320, 81, kWizardStyle | WS_VISIBLE, WS_EX_TOOLWINDOW | WS_EX_APPWINDOW);
  ExpectItems(t, {
                     {IDOK, "Button", "Weiter", 263, 60, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP},
                     {IDCANCEL, "Button", "Abbrechen", 209, 60, 50, 14, WS_TABSTOP},
                     {1000, "Static", "", 7, 7, 306, 35, SS_CENTER | WS_GROUP},
                     {1001, "Edit", "", 7, 44, 252, 14, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP},
                     {1002, "Button", "Durchsuchen", 263, 44, 50, 14, WS_TABSTOP},
                     {1003, PROGRESS_CLASSA, "Progress1", 7, 47, 306, 6, PBS_SMOOTH | WS_BORDER},
                     {1004, "Button", "READMETEXT", 75, 45, 187, 20,
                      BS_AUTOCHECKBOX | BS_MULTILINE | WS_TABSTOP},
                 });
}

TEST(Resources, PatchTemplate) {
  Template t = LoadTemplate(IDD_PATCH_DIALOG);
  ExpectFrame(t, "Pelvaro", 320, 81, kWizardStyle, WS_EX_TOOLWINDOW);
  ExpectItems(t,
              {
                  {IDOK, "Button", "Weiter", 263, 60, 50, 14, BS_DEFPUSHBUTTON},
                  {IDCANCEL, "Button", "Abbrechen", 209, 60, 50, 14, 0},
                  {1000, "Static", "", 7, 7, 306, 35, SS_CENTER},
                  {1003, PROGRESS_CLASSA, "", 7, 47, 306, 6, PBS_SMOOTH | WS_BORDER},
                  {1004, "Button", "READMETEXT", 75, 45, 187, 20, BS_AUTOCHECKBOX | BS_MULTILINE},
              });
}

TEST(Resources, LicenseTemplate) {
  Template t = LoadTemplate(IDD_LICENSE_DIALOG);
  ExpectFrame(t, "Lizenz", 276, 218, WS_POPUP | WS_CAPTION | DS_MODALFRAME, WS_EX_TOOLWINDOW);
  ExpectItems(
      t, {
             {IDOK, "Button", "Ich akzeptiere die Lizenzbestimmungen", 139, 197, 130, 14,
              BS_DEFPUSHBUTTON},
             {IDCANCEL, "Button", "Ich lehne die Lizenzebestimmungen ab", 7, 197, 129, 14, 0},
             {1005, "Edit", "", 7, 7, 262, 189,
              ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP},
         });
}

TEST(Resources, ShortcutOptionsTemplate) {
  Template t = LoadTemplate(IDD_SHORTCUT_DIALOG);
  ExpectFrame(t, "", 251, 57, WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_CENTER | DS_SETFOREGROUND,
              WS_EX_TOOLWINDOW);
  ExpectItems(
      t, {
             {IDOK, "Button", "OK", 194, 36, 50, 14, BS_DEFPUSHBUTTON},
             {1006, "Button", "Desktopverkn\xFCpfung erstellen", 7, 7, 237, 10, BS_AUTOCHECKBOX},
             {1007, "Button", "Startmen\xFC Eintrag erstellen", 7, 20, 237, 10, BS_AUTOCHECKBOX},
         });
}

} // namespace
