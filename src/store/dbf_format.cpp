#include "store/dbf_format.h"

#include "store/byte_order.h"
#include "store/db_error.h"

#include <cstring>

namespace orv {
namespace {


bool knownVersion(uint8_t v) {
    return v == 0x03 || v == 0xF5 || v == 0x30 || v == 0x31 || v == 0x32;
}

bool validNameChar(char c, bool first) {
    if (c >= 'A' && c <= 'Z') return true;
    if (c >= 'a' && c <= 'z') return true;
    if (first) return false;
    return (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

bool DbfHeader::hasMemoFields() const {
    for (const DbfField& f : fields)
        if (f.isMemo()) return true;
    return false;
}

int DbfHeader::fieldIndex(const QByteArray& name) const {
    const QByteArray upper = name.trimmed().toUpper();
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name == upper) return int(i);
    return -1;
}

DbfHeader ParseDbfHeader(const char* data, qint64 size, qint64 fileSize, const QString& fileName) {
    if (size < 32 || fileSize < 32) ThrowDbError(ecDbNotATable, fileName + QStringLiteral(": shorter than a table header"));
    DbfHeader h;
    h.version = uint8_t(data[0]);
    if (!knownVersion(h.version))
        ThrowDbError(ecDbNotATable, fileName + QStringLiteral(": version byte 0x%1").arg(h.version, 2, 16, QLatin1Char('0')));
    const int yy = uint8_t(data[1]);
    h.updateYear = yy >= 100 ? 1900 + yy : (yy < 80 ? 2000 + yy : 1900 + yy);
    h.updateMonth = uint8_t(data[2]);
    h.updateDay = uint8_t(data[3]);
    h.recordCount = ReadLe32(data + 4);
    h.headerLength = ReadLe16(data + 8);
    h.recordLength = ReadLe16(data + 10);
    h.transaction = uint8_t(data[14]);
    h.changeCounter = ReadLe32(data + 16);
    h.flags = uint8_t(data[28]);
    h.codePage = uint8_t(data[29]);

    auto damaged = [&](const QString& what) { ThrowDbError(ecDbDamagedTable, fileName + QStringLiteral(": ") + what); };
    if (h.headerLength < 33 || h.headerLength > fileSize) damaged(QStringLiteral("header length %1").arg(h.headerLength));
    if (h.headerLength > size) damaged(QStringLiteral("header not readable"));
    if (h.recordLength < 1) damaged(QStringLiteral("record length %1").arg(h.recordLength));
    qint64 needed = qint64(h.headerLength) + qint64(h.recordCount) * h.recordLength;
    // A change cut off by a power loss can leave the new count on the disk
    // without the records it counts; those appends never returned.
    if (needed > fileSize && h.transaction != 0 && fileSize >= h.headerLength) {
        h.recordCount = uint32_t((fileSize - h.headerLength) / h.recordLength);
        needed = qint64(h.headerLength) + qint64(h.recordCount) * h.recordLength;
    }
    if (needed > fileSize)
        damaged(QStringLiteral("%1 records announced but the file holds only %2")
                    .arg(h.recordCount)
                    .arg((fileSize - h.headerLength) / h.recordLength));

    int offset = 1;
    for (int pos = 32; pos + 32 <= h.headerLength; pos += 32) {
        const char* d = data + pos;
        if (d[0] == 0x0D) break;
        DbfField f;
        const char* nameEnd = static_cast<const char*>(std::memchr(d, 0, 11));
        f.name = QByteArray(d, nameEnd ? int(nameEnd - d) : 11).trimmed().toUpper();
        f.type = char(std::toupper(static_cast<unsigned char>(d[11])));
        f.width = uint8_t(d[16]);
        f.decimals = uint8_t(d[17]);
        if (f.name.isEmpty()) damaged(QStringLiteral("field %1 has no name").arg(h.fields.size() + 1));
        if (f.width < 1) damaged(QStringLiteral("field %1 has width 0").arg(QString::fromLatin1(f.name)));
        f.binaryMemo = f.isMemo() && f.width == 4;
        if (f.isMemo() && f.width != 10 && f.width != 4)
            damaged(QStringLiteral("memo field %1 has width %2").arg(QString::fromLatin1(f.name)).arg(f.width));
        f.offset = offset;
        offset += f.width;
        h.fields.push_back(f);
        if (h.fields.size() > 255) damaged(QStringLiteral("more than 255 fields"));
    }
    if (h.fields.empty()) damaged(QStringLiteral("no fields"));
    if (offset > h.recordLength)
        damaged(QStringLiteral("fields need %1 bytes but a record has %2").arg(offset).arg(h.recordLength));
    return h;
}

void AssignFieldOffsets(DbfHeader& header) {
    int offset = 1;
    for (DbfField& f : header.fields) {
        f.offset = offset;
        offset += f.width;
    }
    header.recordLength = offset;
    header.headerLength = 32 + 32 * int(header.fields.size()) + 1;
}

QByteArray BuildDbfFixedHeader(const DbfHeader& h) {
    QByteArray b(32, '\0');
    char* d = b.data();
    d[0] = char(h.version);
    d[1] = char(h.updateYear % 100);
    d[2] = char(h.updateMonth);
    d[3] = char(h.updateDay);
    WriteLe32(d + 4, h.recordCount);
    WriteLe16(d + 8, uint16_t(h.headerLength));
    WriteLe16(d + 10, uint16_t(h.recordLength));
    d[14] = char(h.transaction);
    WriteLe32(d + 16, h.changeCounter);
    d[28] = char(h.flags);
    d[29] = char(h.codePage);
    return b;
}

QByteArray BuildDbfHeader(const DbfHeader& h) {
    QByteArray b = BuildDbfFixedHeader(h);
    for (const DbfField& f : h.fields) {
        char d[32] = {};
        std::memcpy(d, f.name.constData(), size_t(std::min<qsizetype>(f.name.size(), 10)));
        d[11] = f.type;
        WriteLe32(d + 12, uint32_t(f.offset));
        d[16] = char(f.width & 0xFF);
        d[17] = char(f.decimals);
        b.append(d, 32);
    }
    b.append(char(0x0D));
    return b;
}

void StampUpdateDate(DbfHeader& header, const QDate& today) {
    header.updateYear = today.year();
    header.updateMonth = today.month();
    header.updateDay = today.day();
}

QString CheckFieldDefinition(const DbfField& f) {
    if (f.name.isEmpty() || f.name.size() > 10) return QStringLiteral("a field name has 1 to 10 characters");
    for (int i = 0; i < f.name.size(); ++i)
        if (!validNameChar(f.name[i], i == 0))
            return QStringLiteral("field name %1: letters, digits and _ only, starting with a letter").arg(QString::fromLatin1(f.name));
    const QString n = QString::fromLatin1(f.name);
    switch (f.type) {
    case 'C':
        if (f.width < 1 || f.width > 254) return QStringLiteral("%1: a character field is 1 to 254 wide").arg(n);
        break;
    case 'N':
    case 'F':
        if (f.width < 1 || f.width > 20) return QStringLiteral("%1: a numeric field is 1 to 20 wide").arg(n);
        if (f.decimals < 0 || (f.decimals > 0 && f.decimals > f.width - 2)) return QStringLiteral("%1: too many decimals").arg(n);
        break;
    case 'D':
        if (f.width != 8) return QStringLiteral("%1: a date field is 8 wide").arg(n);
        break;
    case 'L':
        if (f.width != 1) return QStringLiteral("%1: a logical field is 1 wide").arg(n);
        break;
    case 'M':
    case 'G':
    case 'P':
        if (f.width != 10) return QStringLiteral("%1: a memo field is 10 wide").arg(n);
        break;
    default:
        return QStringLiteral("%1: type %2 cannot be created").arg(n, QChar::fromLatin1(f.type));
    }
    if (f.type != 'N' && f.type != 'F' && f.decimals != 0) return QStringLiteral("%1: only numbers have decimals").arg(n);
    return {};
}

}  // namespace orv
