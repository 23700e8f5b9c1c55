// The uninstaller's texts, code page 1252. The string table keeps the
// installer's 25 texts; these stand here as the few literal questions do.
#pragma once

inline constexpr char kUninstallQuestion[] =
    "Soll \"%s\" mit allen seinen Komponenten von Ihrem Computer entfernt werden? Klicken Sie "
    "auf \"Weiter\" zum Entfernen. Mit \"Abbrechen\" k\xF6"
    "nnen Sie die Deinstallation beenden.";
inline constexpr char kUninstallRunning[] =
    "\"%s\" wird von Ihrem Computer entfernt. Dieser Vorgang kann einige Minuten dauern.";
inline constexpr char kUninstallDone[] = "\"%s\" wurde erfolgreich von Ihrem Computer entfernt.";
inline constexpr char kUninstallKept[] =
    " Folgende Verzeichnisse enthalten noch eigene Dateien und wurden nicht entfernt: %s";
inline constexpr char kUninstallRestart[] = " Einige Dateien werden erst beim n\xE4"
                                            "chsten Neustart des Computers entfernt.";
inline constexpr char kUninstallNotRemoved[] = " Nicht entfernt werden konnte: %s";
inline constexpr char kUninstallNothingToDo[] =
    "\"%s\" ist nicht mehr auf Ihrem Computer installiert. Es gibt nichts zu entfernen.";
inline constexpr char kUninstallSetupRunning[] =
    "Setup oder ein Patch von \"%s\" l\xE4"
    "uft gerade. Die Deinstallation kann nicht fortfahren. Bitte starten Sie sie erneut, "
    "wenn Setup beendet ist.";
inline constexpr char kUninstallCancel[] =
    "Wollen Sie die Deinstallation von \"%s\" wirklich abbrechen?";
