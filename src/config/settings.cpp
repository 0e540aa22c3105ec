#include "config/settings.h"

#include "config/ini_file.h"
#include "config/program_folder.h"

namespace orv {

namespace {
const QString kReceive = QStringLiteral("Receive");
const QString kUser = QStringLiteral("User");
const QString kDialing = QStringLiteral("Dialing");
const QString kModem = QStringLiteral("Modem");
const QString kFont = QStringLiteral("Default Font");

QString portKey(int i) { return QStringLiteral("Com%1").arg(i + 1); }
}  // namespace

const std::array<QString, 6> Settings::kDefaultPortPaths = {
    QStringLiteral("/dev/ttyS0"),   QStringLiteral("/dev/ttyS1"),   QStringLiteral("/dev/ttyUSB0"),
    QStringLiteral("/dev/ttyUSB1"), QStringLiteral("/dev/ttyACM0"), QStringLiteral("/dev/ttyACM1"),
};

// The order of the keys is the order the program has always read them in.
void Settings::load(const IniFile& ini) {
    const Settings d;
    wav = ini.readString(kReceive, "Wav", d.wav);
    atStartup = ini.readBool(kReceive, "AtStartup", d.atStartup);
    answerOnRing = ini.readInteger(kReceive, "AnswerOnRing", d.answerOnRing);
    blindDial = ini.readBool(kDialing, "BlindDial", d.blindDial);
    fax = ini.readString(kUser, "Fax", d.fax);
    name = ini.readString(kUser, "Name", d.name);
    dialPrefix = ini.readString(kDialing, "DialPrefix", d.dialPrefix);
    initString = ini.readString(kModem, "InitString", d.initString);
    dialAttempts = ini.readInteger(kDialing, "DialAttempts", d.dialAttempts);
    retryWait = ini.readInteger(kDialing, "RetryWait", d.retryWait);
    comPort = ini.readInteger(kModem, "ComPort", d.comPort);
    faxClass = ini.readInteger(kModem, "FaxClass", d.faxClass);
    toneOrPulse = ini.readInteger(kDialing, "ToneOrPulse", d.toneOrPulse);
    timeout = ini.readInteger(kDialing, "Timeout", d.timeout);
    fontName = ini.readString(kFont, "Name", d.fontName);
    fontSize = ini.readInteger(kFont, "Size", d.fontSize);
    fontBold = ini.readBool(kFont, "Bold", d.fontBold);
    fontItalic = ini.readBool(kFont, "Italic", d.fontItalic);
    fontUnderline = ini.readBool(kFont, "Underline", d.fontUnderline);
    for (int i = 0; i < 6; ++i) portPaths[i] = ini.readString(kModem, portKey(i), d.portPaths[i]);
}

void Settings::save(IniFile& ini) const {
    ini.writeString(kReceive, "Wav", wav);
    ini.writeBool(kReceive, "AtStartup", atStartup);
    ini.writeInteger(kReceive, "AnswerOnRing", answerOnRing);
    ini.writeString(kUser, "Fax", fax);
    ini.writeString(kUser, "Name", name);
    ini.writeString(kDialing, "DialPrefix", dialPrefix);
    ini.writeString(kModem, "InitString", initString);
    ini.writeInteger(kDialing, "DialAttempts", dialAttempts);
    ini.writeInteger(kDialing, "RetryWait", retryWait);
    ini.writeBool(kDialing, "BlindDial", blindDial);
    ini.writeInteger(kModem, "ComPort", comPort);
    ini.writeInteger(kModem, "FaxClass", faxClass);
    ini.writeInteger(kDialing, "ToneOrPulse", toneOrPulse);
    ini.writeInteger(kDialing, "Timeout", timeout);
    ini.writeString(kFont, "Name", fontName);
    ini.writeInteger(kFont, "Size", fontSize);
    ini.writeBool(kFont, "Bold", fontBold);
    ini.writeBool(kFont, "Italic", fontItalic);
    ini.writeBool(kFont, "Underline", fontUnderline);
    for (int i = 0; i < 6; ++i) ini.writeString(kModem, portKey(i), portPaths[i]);
}

QString Settings::portPath() const {
    return comPort >= 0 && comPort < 6 ? portPaths[comPort] : QString();
}

Settings& AppSettings() {
    static Settings settings;
    return settings;
}

void LoadSettings() { AppSettings().load(IniFile(IniFilePath())); }

void SaveSettings() {
    IniFile ini(IniFilePath());
    AppSettings().save(ini);
}

}  // namespace orv
