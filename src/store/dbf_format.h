#pragma once
// The .DBF table header: parsing (with every length checked against the file)
// and building, for FoxPro 2.x tables (version 0x03 without memo, 0xF5 with an
// .FPT memo file). Visual FoxPro tables (0x30..0x32) are read too.
#include <QByteArray>
#include <QDate>
#include <QString>

#include <cstdint>
#include <vector>

namespace orv {

struct DbfField {
    QByteArray name;  // upper case, at most 10 characters
    char type = 'C';  // C N F D L M (and G P B I T Y ... in foreign files)
    int offset = 0;   // inside the record; 1 for the first field (byte 0 is the deletion flag)
    int width = 0;
    int decimals = 0;
    // Visual FoxPro keeps memo pointers as 4 binary bytes instead of 10 digits.
    bool binaryMemo = false;

    bool isMemo() const { return type == 'M' || type == 'G' || type == 'P' || type == 'B'; }
    static DbfField make(const char* name, char type, int width, int decimals = 0) {
        DbfField f;
        f.name = name;
        f.type = type;
        f.width = width;
        f.decimals = decimals;
        return f;
    }
};

enum : uint8_t {
    kDbfVersionFox = 0x03,
    kDbfVersionFoxMemo = 0xF5,
    kDbfFlagStructuralCdx = 0x01,
    kDbfCodePage1252 = 0x03,
    kDbfDeleted = '*',
    kDbfLive = ' ',
    kDbfEof = 0x1A,
};

struct DbfHeader {
    uint8_t version = kDbfVersionFox;
    int updateYear = 0, updateMonth = 1, updateDay = 1;
    uint32_t recordCount = 0;
    int headerLength = 0;
    int recordLength = 0;
    // Byte 14, the "incomplete transaction" flag: set while an update of the
    // table and its index is in progress, so an interrupted one is noticed.
    uint8_t transaction = 0;
    // Bytes 16..19 (reserved; FoxPro writes 0): counts the changes of the
    // table, and every index file written for it carries the same count, so
    // an index that missed a change is known on open. 0: not kept (a table
    // from another program).
    uint32_t changeCounter = 0;
    uint8_t flags = 0;
    uint8_t codePage = kDbfCodePage1252;
    std::vector<DbfField> fields;

    bool isVisualFoxPro() const { return version >= 0x30 && version <= 0x32; }
    bool hasMemoFields() const;
    int fieldIndex(const QByteArray& name) const;  // case-insensitive; -1 when absent
    // The index of the first record byte, and the file offset of record r (1-based).
    qint64 recordOffset(uint32_t recno) const { return headerLength + qint64(recno - 1) * recordLength; }
};

// Parses and checks a header; the bytes given must cover at least the header
// (fewer bytes, or any inconsistency with fileSize, raise ecDbNotATable or
// ecDbDamagedTable naming fileName).
DbfHeader ParseDbfHeader(const char* data, qint64 size, qint64 fileSize, const QString& fileName);
// Bytes 0..31 plus the descriptors plus 0x0D, for a header whose fields have
// their offsets assigned (AssignFieldOffsets).
QByteArray BuildDbfHeader(const DbfHeader& header);
// Offsets, record length and header length from the field widths.
void AssignFieldOffsets(DbfHeader& header);
// The 32-byte fixed part only (for updating record count, date and flags in place).
QByteArray BuildDbfFixedHeader(const DbfHeader& header);
void StampUpdateDate(DbfHeader& header, const QDate& today);

// Checks one field definition (name, type, width, decimals) for a new table;
// returns an empty string when it is fine, else the reason.
QString CheckFieldDefinition(const DbfField& field);

}  // namespace orv
