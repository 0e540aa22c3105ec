#include "compose/contact_import.h"

#include "common/cp1252.h"
#include "store/schemas.h"
#include "store/tdatasource.h"
#include "store/tengine_link.h"
#include "store/ttable.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>

#include <optional>

namespace orv {

namespace {

constexpr qint64 kMaxContactsFile = 64 * 1024 * 1024;

// UTF-8 when the bytes are valid UTF-8, otherwise Windows-1252 (what older
// Windows address books write).
QString decodeText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString s = utf8.decode(bytes);
    if (!utf8.hasError()) return s;
    return fromCp1252(bytes);
}

QString decodeCharset(const QByteArray& bytes, const QByteArray& charset) {
    if (charset.isEmpty()) return decodeText(bytes);
    const QByteArray cs = charset.toLower();
    if (cs == "windows-1252" || cs == "cp1252" || cs == "iso-8859-1" || cs == "latin1" || cs == "us-ascii")
        return fromCp1252(bytes);
    QStringDecoder d(cs.constData());
    if (!d.isValid()) return decodeText(bytes);
    const QString s = d.decode(bytes);
    return d.hasError() ? decodeText(bytes) : s;
}

// Converts a file in UTF-16 (with its byte-order mark) to UTF-8; other bytes stay.
QByteArray toUtf8IfUtf16(const QByteArray& data) {
    if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
        QStringDecoder d(data.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        return QString(d.decode(data.mid(2))).toUtf8();
    }
    if (data.startsWith("\xEF\xBB\xBF")) return data.mid(3);
    return data;
}

QList<QByteArray> splitLines(const QByteArray& data) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (data[i] != '\r' && data[i] != '\n') continue;
        lines << data.mid(start, i - start);
        if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < data.size()) lines << data.mid(start);
    return lines;
}

// ---- vCard ------------------------------------------------------------------------

struct VLine {
    QByteArray text;
    int line = 0;
};

struct VProperty {
    QByteArray name;                  // upper case, without its group
    QList<QByteArray> types;          // lower case: TYPE values and bare parameters
    QByteArray encoding, charset;     // upper / as given
    bool pref = false;
    QByteArray rawValue;
};

// Splits at sep outside double quotes.
QList<QByteArray> splitOutsideQuotes(const QByteArray& s, char sep) {
    QList<QByteArray> parts;
    QByteArray cur;
    bool quoted = false;
    for (char c : s) {
        if (c == '"') quoted = !quoted;
        if (c == sep && !quoted) {
            parts << cur;
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts << cur;
    return parts;
}

bool isQuotedPrintableHead(const QByteArray& line) {
    const qsizetype colon = line.indexOf(':');
    return colon > 0 && line.left(colon).toUpper().contains("QUOTED-PRINTABLE");
}

// Unfolds the lines of a vCard file: a line that starts with a blank or a
// tab continues the one before (RFC 6350, 3.2), and a quoted-printable value
// ending in '=' continues on the next line (vCard 2.1).
QList<VLine> logicalLines(const QByteArray& data) {
    const QList<QByteArray> raw = splitLines(data);
    QList<VLine> out;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QByteArray& r = raw[i];
        if (!out.isEmpty() && !r.isEmpty() && (r[0] == ' ' || r[0] == '\t')) {
            out.last().text += r.mid(1);
            continue;
        }
        if (!out.isEmpty() && out.last().text.endsWith('=') && isQuotedPrintableHead(out.last().text)) {
            out.last().text.chop(1);
            out.last().text += r;
            continue;
        }
        out.append({r, int(i) + 1});
    }
    return out;
}

std::optional<VProperty> parseProperty(const QByteArray& line) {
    // The value starts after the first colon outside quotes.
    qsizetype colon = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        if (line[i] == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon <= 0) return std::nullopt;
    VProperty p;
    p.rawValue = line.mid(colon + 1);
    const QList<QByteArray> head = splitOutsideQuotes(line.left(colon), ';');
    QByteArray name = head[0].trimmed().toUpper();
    if (const qsizetype dot = name.lastIndexOf('.'); dot >= 0) name = name.mid(dot + 1);
    p.name = name;
    for (qsizetype i = 1; i < head.size(); ++i) {
        const QByteArray param = head[i].trimmed();
        const qsizetype eq = param.indexOf('=');
        const QByteArray key = (eq < 0 ? param : param.left(eq)).trimmed().toUpper();
        QByteArray value = eq < 0 ? QByteArray() : param.mid(eq + 1).trimmed();
        if (eq < 0) {
            // vCard 2.1 writes bare parameters: TEL;WORK;FAX: and ;QUOTED-PRINTABLE:
            if (key == "QUOTED-PRINTABLE" || key == "BASE64" || key == "8BIT" || key == "7BIT") p.encoding = key;
            else if (key == "PREF") p.pref = true;
            else p.types << key.toLower();
            continue;
        }
        if (value.startsWith('"') && value.endsWith('"') && value.size() >= 2) value = value.mid(1, value.size() - 2);
        if (key == "TYPE") {
            for (const QByteArray& t : value.split(',')) {
                const QByteArray lt = t.trimmed().toLower();
                if (lt == "pref") p.pref = true;
                else if (!lt.isEmpty()) p.types << lt;
            }
        } else if (key == "ENCODING") {
            p.encoding = value.toUpper();
        } else if (key == "CHARSET") {
            p.charset = value;
        } else if (key == "PREF") {
            p.pref = value.trimmed() == "1";
        }
    }
    return p;
}

QByteArray decodeQuotedPrintable(const QByteArray& in) {
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '=' && i + 2 < in.size()) {
            bool ok = false;
            const int v = in.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                out += char(v);
                i += 2;
                continue;
            }
        }
        out += c;
    }
    return out;
}

QString propertyText(const VProperty& p) {
    QByteArray bytes = p.rawValue;
    if (p.encoding == "QUOTED-PRINTABLE") bytes = decodeQuotedPrintable(bytes);
    else if (p.encoding == "B" || p.encoding == "BASE64") bytes = QByteArray::fromBase64(bytes);
    return decodeCharset(bytes, p.charset);
}

// Text value escapes (\, \; \\ \n) undone; components split at unescaped ';'.
QStringList textComponents(const QString& value) {
    QStringList parts{QString()};
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == '\\' && i + 1 < value.size()) {
            const QChar n = value[++i];
            parts.last() += (n == 'n' || n == 'N') ? QChar(' ') : n;
        } else if (c == ';') {
            parts << QString();
        } else {
            parts.last() += c;
        }
    }
    return parts;
}

QString simplified(const QString& s) { return s.simplified(); }

QString telNumber(const VProperty& p) {
    QString v = propertyText(p).trimmed();
    if (v.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive)) {
        v = v.mid(4);
        // A tel URI's parameters (;ext=, ;phone-context=) are no part of the number to dial.
        if (const qsizetype semi = v.indexOf(';'); semi >= 0) v = v.left(semi);
    }
    return v.trimmed();
}

struct Card {
    int index = 0;
    int line = 0;
    QString fn, n, org;
    QString fax, firstTel;
    bool faxIsPref = false;
};

void finishCard(const Card& c, ContactFile& out) {
    QString name = simplified(c.fn);
    if (name.isEmpty()) name = simplified(c.n);
    if (name.isEmpty()) name = simplified(c.org);
    const QString number = !c.fax.isEmpty() ? c.fax : c.firstTel;
    if (name.isEmpty()) {
        out.skipped.append({c.index, c.line, number, QStringLiteral("it has no name (FN, N or ORG)")});
        return;
    }
    if (number.isEmpty()) {
        out.skipped.append({c.index, c.line, name, QStringLiteral("it has no telephone number (TEL)")});
        return;
    }
    out.contacts.append({name, number, c.line, c.index});
}

}  // namespace

ContactFile ParseVCards(const QByteArray& dataIn) {
    ContactFile out;
    out.format = QStringLiteral("vCard");
    const QList<VLine> lines = logicalLines(toUtf8IfUtf16(dataIn));
    std::optional<Card> card;
    int depth = 0;  // vCard 2.1 may nest a card (AGENT) inside another
    int count = 0;
    for (const VLine& l : lines) {
        const QByteArray t = l.text.trimmed();
        if (t.isEmpty()) continue;
        const QByteArray upper = t.toUpper();
        if (upper == "BEGIN:VCARD") {
            if (card) {
                ++depth;
                continue;
            }
            card = Card{};
            card->index = ++count;
            card->line = l.line;
            continue;
        }
        if (upper == "END:VCARD") {
            if (!card) continue;
            if (depth > 0) {
                --depth;
                continue;
            }
            finishCard(*card, out);
            card.reset();
            continue;
        }
        if (!card || depth > 0) continue;
        const std::optional<VProperty> p = parseProperty(l.text);
        if (!p) continue;
        if (p->name == "FN") {
            card->fn = textComponents(propertyText(*p)).join(QLatin1Char(';'));
        } else if (p->name == "N") {
            const QStringList c = textComponents(propertyText(*p));
            // family; given; additional; prefixes; suffixes
            QStringList parts;
            for (int i : {3, 1, 2, 0, 4})
                if (i < c.size() && !c[i].trimmed().isEmpty()) parts << c[i].trimmed();
            card->n = parts.join(QLatin1Char(' '));
        } else if (p->name == "ORG") {
            card->org = textComponents(propertyText(*p)).value(0);
        } else if (p->name == "TEL") {
            const QString number = telNumber(*p);
            if (number.isEmpty()) continue;
            if (card->firstTel.isEmpty()) card->firstTel = number;
            if (p->types.contains("fax") && (card->fax.isEmpty() || (p->pref && !card->faxIsPref))) {
                card->fax = number;
                card->faxIsPref = p->pref;
            }
        }
    }
    if (count == 0) {
        out.error = QStringLiteral("no BEGIN:VCARD line found");
        return out;
    }
    if (card) out.skipped.append({card->index, card->line, simplified(card->fn), QStringLiteral("the file ends before its END:VCARD")});
    out.ok = true;
    return out;
}

// ---- CSV --------------------------------------------------------------------------

namespace {

char guessDelimiter(const QString& text) {
    int comma = 0, semi = 0, tab = 0;
    bool quoted = false;
    for (QChar c : text) {
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '\n' || c == '\r') break;
        if (c == ',') ++comma;
        else if (c == ';') ++semi;
        else if (c == '\t') ++tab;
    }
    if (semi > comma && semi >= tab) return ';';
    if (tab > comma && tab > semi) return '\t';
    return ',';
}

struct CsvRecord {
    QStringList cells;
    int line = 0;
};

// RFC 4180 records: quoted cells may hold the delimiter, doubled quotes and line breaks.
bool parseCsv(const QString& text, char delimiter, QList<CsvRecord>& records, QString& error) {
    CsvRecord rec;
    QString cell;
    bool quoted = false, cellWasQuoted = false;
    int line = 1, quoteLine = 0;
    rec.line = 1;
    auto endCell = [&] {
        rec.cells << (cellWasQuoted ? cell : cell.trimmed());
        cell.clear();
        cellWasQuoted = false;
    };
    auto endRecord = [&](int nextLine) {
        endCell();
        records << rec;
        rec = CsvRecord{};
        rec.line = nextLine;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"') {
                    cell += '"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (c == '\n' || (c == '\r' && !(i + 1 < text.size() && text[i + 1] == '\n'))) ++line;
                cell += c;
            }
            continue;
        }
        if (c == '"' && cell.trimmed().isEmpty()) {
            cell.clear();
            quoted = true;
            cellWasQuoted = true;
            quoteLine = line;
        } else if (c == QLatin1Char(delimiter)) {
            endCell();
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            ++line;
            endRecord(line);
        } else {
            cell += c;
        }
    }
    if (quoted) {
        error = QStringLiteral("line %1: a quoted field is not closed").arg(quoteLine);
        return false;
    }
    if (!cell.isEmpty() || !rec.cells.isEmpty() || cellWasQuoted) endRecord(line);
    return true;
}

int findColumn(const QStringList& header, std::initializer_list<const char*> names) {
    for (const char* n : names)
        for (int i = 0; i < header.size(); ++i)
            if (header[i] == QLatin1String(n)) return i;
    return -1;
}

}  // namespace

ContactFile ParseContactsCsv(const QByteArray& dataIn) {
    ContactFile out;
    out.format = QStringLiteral("CSV");
    const QString text = decodeText(toUtf8IfUtf16(dataIn));
    if (text.trimmed().isEmpty()) {
        out.error = QStringLiteral("the file is empty");
        return out;
    }
    if (text.contains(QChar(0))) {
        out.error = QStringLiteral("neither a vCard file nor a CSV file (it holds binary data)");
        return out;
    }
    QList<CsvRecord> records;
    if (!parseCsv(text, guessDelimiter(text), records, out.error)) return out;
    // The header is the first record that is not blank.
    qsizetype first = 0;
    while (first < records.size() && records[first].cells.join(QString()).trimmed().isEmpty()) ++first;
    if (first == records.size()) {
        out.error = QStringLiteral("the file is empty");
        return out;
    }
    QStringList header;
    for (const QString& h : records[first].cells) header << h.trimmed().toLower();

    const int nameCol = findColumn(header, {"name", "full name", "fullname", "display name", "displayname", "fn",
                                            "formatted name", "contact", "contact name"});
    const int firstCol = findColumn(header, {"first name", "firstname", "given name", "givenname"});
    const int middleCol = findColumn(header, {"middle name", "additional name", "middlename"});
    const int lastCol = findColumn(header, {"last name", "lastname", "family name", "familyname", "surname"});
    const int orgCol = findColumn(header, {"company", "organization", "organisation", "organization name", "org"});
    QList<int> faxCols;
    for (int i = 0; i < header.size(); ++i)
        if (header[i].contains(QLatin1String("fax"))) faxCols << i;
    // Google's export: "Phone 1 - Type" says what "Phone 1 - Value" holds.
    QList<std::pair<int, int>> typedPhones;
    static const QRegularExpression typed(QStringLiteral("^phone (\\d+) - type$"));
    for (int i = 0; i < header.size(); ++i) {
        const QRegularExpressionMatch m = typed.match(header[i]);
        if (!m.hasMatch()) continue;
        const int v = header.indexOf(QStringLiteral("phone %1 - value").arg(m.captured(1)));
        if (v >= 0) typedPhones.append({i, v});
    }
    QList<int> phoneCols;
    if (faxCols.isEmpty() && typedPhones.isEmpty()) {
        for (int i = 0; i < header.size(); ++i)
            if (header[i].contains(QLatin1String("phone")) || header[i] == QLatin1String("tel") ||
                header[i] == QLatin1String("telephone") || header[i] == QLatin1String("number"))
                phoneCols << i;
        if (!phoneCols.isEmpty())
            out.notes << QStringLiteral("no fax column; the number is taken from \"%1\"").arg(records[first].cells[phoneCols[0]].trimmed());
    }
    if (nameCol < 0 && firstCol < 0 && lastCol < 0 && orgCol < 0) {
        out.error = QStringLiteral("no name column in the header row (looked for Name, Full Name, Display Name, "
                                   "First Name, Last Name, Company)");
        return out;
    }
    if (faxCols.isEmpty() && typedPhones.isEmpty() && phoneCols.isEmpty()) {
        out.error = QStringLiteral("no fax or phone column in the header row");
        return out;
    }
    auto cell = [](const CsvRecord& r, int col) { return col >= 0 && col < r.cells.size() ? r.cells[col].trimmed() : QString(); };
    // A cell may list several numbers (" ::: " in Google's export): the first counts.
    auto firstNumber = [](QString v) {
        if (const qsizetype sep = v.indexOf(QLatin1String(":::")); sep >= 0) v = v.left(sep);
        return v.trimmed();
    };
    int index = 0;
    for (qsizetype r = first + 1; r < records.size(); ++r) {
        const CsvRecord& rec = records[r];
        if (rec.cells.join(QString()).trimmed().isEmpty()) continue;
        ++index;
        QString name = cell(rec, nameCol);
        if (name.isEmpty()) {
            QStringList parts;
            for (int c : {firstCol, middleCol, lastCol})
                if (!cell(rec, c).isEmpty()) parts << cell(rec, c);
            name = parts.join(QLatin1Char(' '));
        }
        if (name.isEmpty()) name = cell(rec, orgCol);
        name = name.simplified();
        QString number;
        for (int c : faxCols)
            if (number.isEmpty()) number = firstNumber(cell(rec, c));
        for (const auto& [t, v] : typedPhones)
            if (number.isEmpty() && cell(rec, t).contains(QLatin1String("fax"), Qt::CaseInsensitive))
                number = firstNumber(cell(rec, v));
        for (int c : phoneCols)
            if (number.isEmpty()) number = firstNumber(cell(rec, c));
        if (name.isEmpty()) {
            out.skipped.append({index, rec.line, number, QStringLiteral("it has no name")});
        } else if (number.isEmpty()) {
            out.skipped.append({index, rec.line, name, QStringLiteral("it has no fax number")});
        } else {
            out.contacts.append({name, number, rec.line, index});
        }
    }
    out.ok = true;
    return out;
}

ContactFile ParseContacts(const QByteArray& data) {
    static const QRegularExpression begin(QStringLiteral("^[ \\t]*BEGIN:VCARD[ \\t]*\\r?$"),
                                          QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption);
    const QByteArray utf8 = toUtf8IfUtf16(data);
    if (begin.match(QString::fromLatin1(utf8)).hasMatch()) return ParseVCards(utf8);
    return ParseContactsCsv(utf8);
}

// ---- into the phone book ----------------------------------------------------------------

namespace {

QString describe(const SkippedContact& s) {
    QString who = QStringLiteral("contact %1 (line %2)").arg(s.index).arg(s.line);
    if (!s.name.isEmpty()) who += QStringLiteral(" \"%1\"").arg(s.name);
    return QStringLiteral("skipped %1: %2").arg(who, s.reason);
}

// What the table will hold of a text: Windows-1252, cut to the field width.
QString stored(const QString& text, int width) { return fromCp1252(toCp1252(text).left(width)).trimmed(); }

}  // namespace

PhoneBookImport ImportPhoneBook(const QString& dbfPath, const QString& contactsPath) {
    PhoneBookImport result;
    QFile file(contactsPath);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = QStringLiteral("%1: %2").arg(contactsPath, file.errorString());
        return result;
    }
    if (file.size() > kMaxContactsFile) {
        result.error = QStringLiteral("%1: the file is larger than %2 MB").arg(contactsPath).arg(kMaxContactsFile >> 20);
        return result;
    }
    const ContactFile contacts = ParseContacts(file.readAll());
    result.format = contacts.format;
    if (!contacts.ok) {
        result.error = QStringLiteral("%1: %2").arg(contactsPath, contacts.error);
        return result;
    }
    for (const QString& n : contacts.notes) result.report << n;

    const QFileInfo info(dbfPath);
    TTable table;
    TDataSource source;
    TEngineLink link;
    source.setDataSet(&table);
    link.setDataSource(&source);
    try {
        if (!info.exists()) {
            if (info.fileName() != QLatin1String(PhoneSchema().fileName)) {
                result.error = QStringLiteral("%1 does not exist").arg(dbfPath);
                return result;
            }
            if (!OpenPhoneDBF(table, link, info.absolutePath())) {
                result.error = QStringLiteral("%1 cannot be created").arg(dbfPath);
                return result;
            }
        } else {
            table.setDatabaseName(info.absolutePath() + QLatin1Char('/'));
            table.setTableName(info.fileName());
            table.setExclusive(true);
            table.open();
            link.setFilter(QString::fromLatin1(kNotDeletedFilter));
        }
        TField* nameField = table.findField(QStringLiteral("NAME"));
        TField* phoneField = table.findField(QStringLiteral("PHONE"));
        if (!nameField || !phoneField || nameField->kind() != TFieldKind::fkString ||
            phoneField->kind() != TFieldKind::fkString) {
            result.error = QStringLiteral("%1 is no phone book (it needs the text fields NAME and PHONE)").arg(dbfPath);
            return result;
        }
        const int nameWidth = nameField->Size(), phoneWidth = phoneField->Size();
        QSet<QString> present;
        for (table.first(); !table.eof(); table.next())
            present.insert(nameField->asString().trimmed() + QChar(0) + phoneField->asString().trimmed());

        QList<SkippedContact> skipped = contacts.skipped;
        QList<std::pair<ImportedContact, QString>> toAdd;  // the contact and its report line, if any
        for (const ImportedContact& c : contacts.contacts) {
            const QString name = stored(c.name, nameWidth), number = stored(c.number, phoneWidth);
            const QString key = name + QChar(0) + number;
            if (present.contains(key)) {
                result.report << describe({c.index, c.line, c.name, QStringLiteral("it is already in the phone book")});
                continue;
            }
            present.insert(key);
            QStringList changes;
            if (toCp1252(c.name).size() > nameWidth) changes << QStringLiteral("name cut to %1 characters").arg(nameWidth);
            if (toCp1252(c.number).size() > phoneWidth) changes << QStringLiteral("number cut to %1 characters").arg(phoneWidth);
            if (fromCp1252(toCp1252(c.name)) != c.name)
                changes << QStringLiteral("characters of the name that Windows-1252 lacks became '?'");
            toAdd.append({ImportedContact{name, number, c.line, c.index},
                          changes.isEmpty() ? QString()
                                            : QStringLiteral("line %1 \"%2\": %3").arg(c.line).arg(c.name, changes.join(QStringLiteral(", ")))});
        }
        for (const auto& [c, note] : toAdd) {
            table.append();
            nameField->setAsString(c.name);
            phoneField->setAsString(c.number);
            table.post();
            ++result.added;
            if (!note.isEmpty()) result.report << note;
        }
        for (const SkippedContact& s : skipped) result.report << describe(s);
        table.close();
    } catch (const std::exception& e) {
        result.error = QStringLiteral("%1: %2").arg(dbfPath, QString::fromUtf8(e.what()));
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace orv
