#pragma once
// The program-wide settings kept in ORV.INI, loaded once at start-up and
// written back whenever a window that edits them is confirmed.
#include <QString>
#include <array>

namespace orv {

class IniFile;

struct Settings {
    // [Receive]
    QString wav;               // Wav: sound played after a fax was received; empty = none
    bool atStartup = false;    // AtStartup: start receive mode with the program
    int answerOnRing = 1;      // AnswerOnRing: 1..3 (other values are passed on unchanged)
    // [User]
    QString fax;               // Fax: own fax number, the station identifier
    QString name;              // Name: used in the page header line
    // [Dialing]
    QString dialPrefix;        // DialPrefix
    int dialAttempts = 3;      // DialAttempts
    int retryWait = 60;        // RetryWait: seconds between attempts
    int toneOrPulse = 0;       // ToneOrPulse: 0 tone, 1 pulse
    int timeout = 60;          // Timeout: seconds to wait after dialling
    bool blindDial = false;    // BlindDial
    // [Modem]
    QString initString;        // InitString: extra initialisation commands
    int comPort = -1;          // ComPort: 0..5 for Com1..Com6; -1 = never configured
    int faxClass = 0;          // FaxClass: 0 auto, 1 Class 1, 2 Class 2, 3 Class 2.0
    // Device path of each port choice, keys Com1..Com6 of [Modem].
    std::array<QString, 6> portPaths = kDefaultPortPaths;
    // [Default Font]
    QString fontName = QStringLiteral("Arial");
    int fontSize = 10;
    bool fontBold = false;
    bool fontItalic = false;
    bool fontUnderline = false;

    static const std::array<QString, 6> kDefaultPortPaths;

    // Reads every key; a missing key gives its default.
    void load(const IniFile& ini);
    // Writes every key. Throws IniWriteError; the keys after the refused one are not written.
    void save(IniFile& ini) const;

    // The device path of comPort, or empty when comPort is out of range.
    QString portPath() const;
};

// The program's settings.
Settings& AppSettings();

// Load and save AppSettings() from and to IniFilePath().
void LoadSettings();
void SaveSettings();

}  // namespace orv
