#include "config/ini_file.h"

#include <QFile>
#include <QStringDecoder>

#include <cctype>
#include <optional>

#include "common/atomic_file.h"
#include "common/cp1252.h"

namespace orv {
namespace {

// The file as raw lines, so bytes we do not touch are written back exactly.
struct IniLines {
    QList<QByteArray> lines;
    QByteArray eol = "\n";
    bool finalEol = true;
};

IniLines loadLines(const QString& path) {
    IniLines doc;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return doc;
    const QByteArray all = f.readAll();
    if (all.isEmpty()) return doc;
    if (all.contains("\r\n")) doc.eol = "\r\n";
    doc.finalEol = all.endsWith('\n');
    doc.lines = all.split('\n');
    if (doc.finalEol) doc.lines.removeLast();
    for (QByteArray& line : doc.lines)
        if (line.endsWith('\r')) line.chop(1);
    return doc;
}

QByteArray encode(const QString& s) { return s.toUtf8(); }

// Text from the file: UTF-8 when it is valid, otherwise Windows-1252 (an
// ORV.INI carried over from another system).
QString decode(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8(bytes);
    return utf8.hasError() ? fromCp1252(bytes) : s;
}

bool sameName(const QByteArray& a, const QString& b) {
    return decode(a).compare(b, Qt::CaseInsensitive) == 0;
}

// "[Name]" -> Name; nullopt for other lines.
std::optional<QByteArray> sectionName(const QByteArray& line) {
    const QByteArray t = line.trimmed();
    if (!t.startsWith('[')) return std::nullopt;
    const qsizetype close = t.indexOf(']');
    return t.mid(1, close < 0 ? -1 : close - 1).trimmed();
}

// "key = value" -> key; nullopt for comments and lines without '='.
std::optional<QByteArray> keyName(const QByteArray& line) {
    const QByteArray t = line.trimmed();
    if (t.isEmpty() || t.startsWith(';') || t.startsWith('[')) return std::nullopt;
    const qsizetype eq = t.indexOf('=');
    if (eq < 0) return std::nullopt;
    return t.left(eq).trimmed();
}

struct Position {
    qsizetype section = -1;  // line of the section header
    qsizetype end = -1;      // first line after the section's last key line
    qsizetype key = -1;      // line of the key, -1 when absent
};

Position locate(const IniLines& doc, const QString& section, const QString& key) {
    Position pos;
    for (qsizetype i = 0; i < doc.lines.size(); ++i) {
        const auto name = sectionName(doc.lines[i]);
        if (pos.section < 0) {
            if (name && sameName(*name, section)) pos.section = i, pos.end = i + 1;
            continue;
        }
        if (name) break;  // the next section: the first matching one is the one used
        const auto k = keyName(doc.lines[i]);
        if (k) {
            pos.end = i + 1;
            if (pos.key < 0 && sameName(*k, key)) pos.key = i;
        }
    }
    return pos;
}

QString valueOf(const QByteArray& line) {
    QByteArray v = line.mid(line.indexOf('=') + 1).trimmed();
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return decode(v);
}

void save(const QString& path, const IniLines& doc) {
    QByteArray all;
    for (qsizetype i = 0; i < doc.lines.size(); ++i) {
        all += doc.lines[i];
        if (i + 1 < doc.lines.size() || doc.finalEol) all += doc.eol;
    }
    if (!WriteFileAtomically(path, all)) throw IniWriteError(path);
}

}  // namespace

IniWriteError::IniWriteError(const QString& path)
    : std::runtime_error(QStringLiteral("Unable to write to %1").arg(path).toStdString()), path_(path) {}

IniFile::IniFile(QString path) : path_(std::move(path)) {}

QString IniFile::readString(const QString& section, const QString& key, const QString& def) const {
    const IniLines doc = loadLines(path_);
    const Position pos = locate(doc, section, key);
    if (pos.key < 0) return def;
    return valueOf(doc.lines[pos.key]).left(kMaxValueLength);
}

int IniFile::parseInteger(const QString& text, int def) {
    bool ok = false;
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        const QString digits = text.mid(2);
        // Up to eight hex digits; values above 0x7FFFFFFF wrap into the negative range.
        if (digits.size() > 8) return def;
        for (QChar c : digits)
            if (!isxdigit(c.unicode()) || c.unicode() > 0x7F) return def;
        const uint v = digits.toUInt(&ok, 16);
        return ok ? static_cast<int>(v) : def;
    }
    const int v = text.toInt(&ok, 10);
    return ok ? v : def;
}

int IniFile::readInteger(const QString& section, const QString& key, int def) const {
    return parseInteger(readString(section, key, QString()), def);
}

bool IniFile::readBool(const QString& section, const QString& key, bool def) const {
    return readInteger(section, key, def ? 1 : 0) != 0;
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value) {
    IniLines doc = loadLines(path_);
    const Position pos = locate(doc, section, key);
    if (pos.key >= 0) {
        // Keep the key's own spelling and anything before it on the line.
        QByteArray& line = doc.lines[pos.key];
        line = line.left(line.indexOf('=') + 1) + encode(value);
    } else if (pos.section >= 0) {
        doc.lines.insert(pos.end, encode(key) + '=' + encode(value));
    } else {
        if (!doc.lines.isEmpty() && !doc.lines.back().trimmed().isEmpty()) doc.lines.append(QByteArray());
        doc.lines.append('[' + encode(section) + ']');
        doc.lines.append(encode(key) + '=' + encode(value));
    }
    doc.finalEol = true;
    save(path_, doc);
}

void IniFile::writeInteger(const QString& section, const QString& key, int value) {
    writeString(section, key, QString::number(value));
}

void IniFile::writeBool(const QString& section, const QString& key, bool value) {
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

}  // namespace orv
