#include "images/apf_file.h"

#include "common/orv_error.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <vector>

namespace orv {

const char kApfSignature[6] = {'A', 'P', 'F', '1', '0', 0x1A};

namespace {

void putU16(char* p, uint16_t v) {
    p[0] = char(v & 0xFF);
    p[1] = char(v >> 8);
}
void putU32(char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = char((v >> (8 * i)) & 0xFF);
}
uint16_t getU16(const char* p) {
    return uint16_t(uint8_t(p[0]) | (uint8_t(p[1]) << 8));
}
uint32_t getU32(const char* p) {
    return uint32_t(uint8_t(p[0])) | (uint32_t(uint8_t(p[1])) << 8) | (uint32_t(uint8_t(p[2])) << 16) |
           (uint32_t(uint8_t(p[3])) << 24);
}

int errnoCode(int err, int fallback) {
    switch (err) {
    case ENOENT: return ecFileNotFound;
    case ENOTDIR: return ecPathNotFound;
    case EMFILE: case ENFILE: return ecTooManyFiles;
    case EACCES: case EPERM: case EISDIR: case EROFS: return ecAccessDenied;
    case ENOMEM: return ecOutOfMemory;
    case ENOSPC: case EFBIG: case EDQUOT: return ecDiskWrite;
    case EIO: return fallback;
    default: return fallback;
    }
}

// Opens with errno-based codes; a missing folder is "Path not found".
int openFile(QFile& file, const QString& name, QIODevice::OpenMode mode) {
    if (name.isEmpty()) return ecFileNotFound;
    file.setFileName(name);
    errno = 0;
    if (file.open(mode)) return ecOK;
    const int err = errno;
    if (err == ENOENT && !QFileInfo(name).absoluteDir().exists()) return ecPathNotFound;
    if (err == 0) return FileErrorCode(file, ecFileNotFound);
    return errnoCode(err, ecFileNotFound);
}

}  // namespace

QByteArray ApfFileHeader::toBytes(bool padStationId) const {
    QByteArray b(kApfFileHeaderSize, '\0');
    std::memcpy(b.data(), kApfSignature, 6);
    putU32(b.data() + 6, fileDate);
    const QByteArray id = stationId.left(kApfStationIdLength);
    b[10] = char(padStationId ? kApfStationIdLength : id.size());
    std::memset(b.data() + 11, ' ', kApfStationIdLength);
    std::memcpy(b.data() + 11, id.constData(), size_t(id.size()));
    putU16(b.data() + 32, pageCount);
    putU32(b.data() + 34, firstPageOffset);
    return b;
}

bool ApfFileHeader::fromBytes(const QByteArray& bytes, ApfFileHeader& h) {
    if (bytes.size() < kApfFileHeaderSize || std::memcmp(bytes.constData(), kApfSignature, 6) != 0) return false;
    const char* p = bytes.constData();
    h.fileDate = getU32(p + 6);
    const int len = std::min<int>(uint8_t(p[10]), kApfStationIdLength);
    h.stationId = QByteArray(p + 11, len);
    h.pageCount = getU16(p + 32);
    h.firstPageOffset = getU32(p + 34);
    return true;
}

QByteArray ApfPageHeader::toBytes() const {
    QByteArray b(kApfPageHeaderSize, '\0');
    putU32(b.data(), imageLength);
    putU16(b.data() + 4, pageFlags);
    return b;
}

ApfPageHeader ApfPageHeader::fromBytes(const char* p) {
    ApfPageHeader h;
    h.imageLength = getU32(p);
    h.pageFlags = getU16(p + 4);
    return h;
}

uint32_t PackDosDateTime(const QDateTime& t) {
    const QDate d = t.date();
    const QTime tm = t.time();
    if (!t.isValid() || d.year() < 1980 || d.year() > 2099) return 0;
    const uint32_t time = uint32_t(tm.second() / 2) | (uint32_t(tm.minute()) << 5) | (uint32_t(tm.hour()) << 11);
    const uint32_t date = uint32_t(d.day()) | (uint32_t(d.month()) << 5) | (uint32_t(d.year() - 1980) << 9);
    return (date << 16) | time;
}

QDateTime UnpackDosDateTime(uint32_t v) {
    if (v == 0) return {};
    const uint32_t date = v >> 16, time = v & 0xFFFF;
    const QDate d(int(date >> 9) + 1980, int((date >> 5) & 15), int(date & 31));
    const QTime t(int(time >> 11), int((time >> 5) & 63), int(time & 31) * 2);
    if (!d.isValid() || !t.isValid()) return {};
    return QDateTime(d, t);
}

int FileErrorCode(const QFileDevice& file, int fallback) {
    switch (file.error()) {
    case QFileDevice::PermissionsError: return ecAccessDenied;
    case QFileDevice::ResourceError: return ecDiskWrite;
    case QFileDevice::ReadError: return ecDiskRead;
    case QFileDevice::WriteError: return ecDiskWrite;
    default: return fallback;
    }
}

// ---- reader -----------------------------------------------------------------

int ApfReader::open(const QString& fileName) {
    close();
    if (const int rc = openFile(file_, fileName, QIODevice::ReadOnly); rc < 0) return rc;
    const QByteArray head = file_.read(kApfFileHeaderSize);
    if (!ApfFileHeader::fromBytes(head, header_)) {
        close();
        return ecFaxBadFormat;
    }
    return ecOK;
}

void ApfReader::close() {
    if (file_.isOpen()) file_.close();
    header_ = ApfFileHeader();
    dataOffset_ = 0;
    cachedPage_ = 0;
    cachedHeaderPos_ = 0;
}

int ApfReader::seekPage(int page, ApfPageHeader& ph) {
    if (!file_.isOpen() || page < 1 || page > header_.pageCount) return ecFaxBadFormat;
    int at = 1;
    qint64 pos = header_.firstPageOffset;
    if (cachedPage_ >= 1 && cachedPage_ <= page) {
        at = cachedPage_;
        pos = cachedHeaderPos_;
    }
    const qint64 size = file_.size();
    char buf[kApfPageHeaderSize];
    for (;;) {
        if (pos < 0 || pos + kApfPageHeaderSize > size || !file_.seek(pos)) return ecFaxBadFormat;
        if (file_.read(buf, kApfPageHeaderSize) != kApfPageHeaderSize) return FileErrorCode(file_, ecFaxBadFormat);
        ph = ApfPageHeader::fromBytes(buf);
        if (at == page) break;
        pos += kApfPageHeaderSize + qint64(ph.imageLength);
        ++at;
    }
    cachedPage_ = page;
    cachedHeaderPos_ = pos;
    dataOffset_ = pos + kApfPageHeaderSize;
    return ecOK;
}

int ApfReader::readPage(int page, ApfPageHeader& ph, QByteArray& data) {
    data.clear();
    if (const int rc = seekPage(page, ph); rc < 0) return rc;
    const qint64 avail = std::max<qint64>(0, file_.size() - dataOffset_);
    const qint64 want = std::min<qint64>(ph.imageLength, avail);
    data = file_.read(want);
    if (data.size() != want) return FileErrorCode(file_, ecFaxBadFormat);
    return qint64(ph.imageLength) > avail ? ecFaxBadFormat : ecOK;
}

qint64 ApfReader::read(char* data, qint64 maxBytes) {
    const qint64 n = file_.read(data, maxBytes);
    return n < 0 ? FileErrorCode(file_, ecDiskRead) : n;
}

// ---- writer -----------------------------------------------------------------

ApfWriter::~ApfWriter() {
    if (file_.isOpen()) file_.close();
}

int ApfWriter::create(const QString& fileName, const QByteArray& stationId, bool padStationId) {
    if (file_.isOpen()) file_.close();
    header_ = ApfFileHeader();
    header_.stationId = stationId.left(kApfStationIdLength);
    header_.fileDate = PackDosDateTime(QDateTime::currentDateTime());
    padStationId_ = padStationId;
    pageOpen_ = false;
    if (const int rc = openFile(file_, fileName, QIODevice::ReadWrite | QIODevice::Truncate); rc < 0) return rc;
    return writeHeader();
}

void ApfWriter::setStationId(const QByteArray& stationId, bool padStationId) {
    header_.stationId = stationId.left(kApfStationIdLength);
    padStationId_ = padStationId;
}

int ApfWriter::writeAll(const void* data, qint64 size) {
    if (size == 0) return ecOK;
    if (file_.write(static_cast<const char*>(data), size) != size) return FileErrorCode(file_, ecDiskWrite);
    return ecOK;
}

int ApfWriter::writeHeader() {
    const qint64 end = file_.pos();
    if (!file_.seek(0)) return FileErrorCode(file_, ecDiskWrite);
    const QByteArray b = header_.toBytes(padStationId_);
    if (const int rc = writeAll(b.constData(), b.size()); rc < 0) return rc;
    if (end > kApfFileHeaderSize && !file_.seek(end)) return FileErrorCode(file_, ecDiskWrite);
    return ecOK;
}

int ApfWriter::beginPage(uint16_t pageFlags) {
    if (!file_.isOpen()) return ecBadHandle;
    if (pageOpen_) return ecOK;
    pageHeaderPos_ = file_.pos();
    pageFlags_ = pageFlags;
    imageLength_ = 0;
    ApfPageHeader ph;
    ph.pageFlags = pageFlags;
    const QByteArray b = ph.toBytes();
    if (const int rc = writeAll(b.constData(), b.size()); rc < 0) return rc;
    pageOpen_ = true;
    return ecOK;
}

int ApfWriter::writeData(const void* data, qint64 size) {
    if (!pageOpen_) return ecBadHandle;
    if (qint64(imageLength_) + size > qint64(UINT32_MAX)) return ecBufferTooBig;
    if (const int rc = writeAll(data, size); rc < 0) return rc;
    imageLength_ += uint32_t(size);
    return ecOK;
}

int ApfWriter::writeLineRecord(const uint8_t* data, int len) {
    if (len < 0 || len > kApfMaxRecordLength) return ecBadArgument;
    const uint8_t word[2] = {uint8_t(len & 0xFF), uint8_t(len >> 8)};
    if (const int rc = writeData(word, 2); rc < 0) return rc;
    return writeData(data, len);
}

int ApfWriter::endPage() {
    if (!pageOpen_) return ecBadHandle;
    if (header_.pageCount == UINT16_MAX) return ecBadArgument;
    const qint64 end = file_.pos();
    ApfPageHeader ph;
    ph.imageLength = imageLength_;
    ph.pageFlags = pageFlags_;
    const QByteArray b = ph.toBytes();
    if (!file_.seek(pageHeaderPos_)) return FileErrorCode(file_, ecDiskWrite);
    if (const int rc = writeAll(b.constData(), b.size()); rc < 0) return rc;
    if (!file_.seek(end)) return FileErrorCode(file_, ecDiskWrite);
    pageOpen_ = false;
    ++header_.pageCount;
    // The header now counts the page, so a crash from here on keeps it.
    if (const int rc = writeHeader(); rc < 0) return rc;
    if (!file_.flush()) return FileErrorCode(file_, ecDiskWrite);
    return ecOK;
}

int ApfWriter::dropPage() {
    if (!pageOpen_) return ecOK;
    pageOpen_ = false;
    imageLength_ = 0;
    if (!file_.flush() || !file_.resize(pageHeaderPos_) || !file_.seek(pageHeaderPos_))
        return FileErrorCode(file_, ecDiskWrite);
    return ecOK;
}

int ApfWriter::finish() {
    if (!file_.isOpen()) return ecBadHandle;
    if (pageOpen_) {
        if (const int rc = endPage(); rc < 0) return rc;
    }
    header_.fileDate = PackDosDateTime(QDateTime::currentDateTime());
    int rc = writeHeader();
    if (rc == ecOK && !file_.flush()) rc = FileErrorCode(file_, ecDiskWrite);
    file_.close();
    return rc;
}

void ApfWriter::discard() {
    if (file_.isOpen()) file_.close();
    if (!file_.fileName().isEmpty()) QFile::remove(file_.fileName());
    pageOpen_ = false;
}

// ---- joining ----------------------------------------------------------------

int AppendApfFile(const QString& dest, const QString& src) {
    if (dest.isEmpty() || src.isEmpty() || !QFileInfo::exists(dest) || !QFileInfo::exists(src)) return ecFileNotFound;
    QFile out, in;
    if (const int rc = openFile(out, dest, QIODevice::ReadWrite); rc < 0) return rc;
    if (const int rc = openFile(in, src, QIODevice::ReadOnly); rc < 0) return rc;

    ApfFileHeader dh, sh;
    if (!ApfFileHeader::fromBytes(out.read(kApfFileHeaderSize), dh)) return ecFaxBadFormat;
    if (!ApfFileHeader::fromBytes(in.read(kApfFileHeaderSize), sh)) return ecFaxBadFormat;
    if (int(dh.pageCount) + int(sh.pageCount) > UINT16_MAX) return ecBadArgument;

    // Walk dest's chain to the end of its last page.
    const qint64 destSize = out.size();
    qint64 pos = dh.firstPageOffset;
    char ph[kApfPageHeaderSize];
    for (int p = 0; p < dh.pageCount; ++p) {
        if (pos + kApfPageHeaderSize > destSize || !out.seek(pos) || out.read(ph, kApfPageHeaderSize) != kApfPageHeaderSize)
            return ecFaxBadFormat;
        pos += kApfPageHeaderSize + qint64(ApfPageHeader::fromBytes(ph).imageLength);
        if (pos > destSize) return ecFaxBadFormat;
    }
    // Pages are found only through the chain, so dest's first page may be
    // anywhere; an empty dest gets src's pages right after its header.
    if (dh.pageCount == 0) {
        pos = std::max<qint64>(kApfFileHeaderSize, std::min<qint64>(dh.firstPageOffset, destSize));
        dh.firstPageOffset = uint32_t(pos);
    }
    if (!out.seek(pos)) return FileErrorCode(out, ecDiskWrite);

    // Copy exactly the bytes src has now (dest and src may be the same file).
    const qint64 srcEnd = in.size();
    if (sh.firstPageOffset > srcEnd || !in.seek(sh.firstPageOffset)) return ecFaxBadFormat;
    qint64 left = srcEnd - sh.firstPageOffset;
    std::vector<char> buf(4096);
    while (left > 0) {
        const qint64 n = in.read(buf.data(), std::min<qint64>(left, qint64(buf.size())));
        if (n <= 0) return FileErrorCode(in, ecDiskRead);
        if (out.write(buf.data(), n) != n) return FileErrorCode(out, ecDiskWrite);
        left -= n;
    }
    const qint64 end = out.pos();
    if (!out.flush()) return FileErrorCode(out, ecDiskWrite);
    if (end < out.size() && !out.resize(end)) return FileErrorCode(out, ecDiskWrite);

    // The header last: until it is written, dest still counts only its own pages.
    dh.pageCount = uint16_t(dh.pageCount + sh.pageCount);
    QByteArray head = dh.toBytes();
    // Keep dest's station id bytes exactly as they were.
    out.seek(0);
    const QByteArray old = out.read(kApfFileHeaderSize);
    head.replace(10, 21, old.mid(10, 21));
    if (!out.seek(0) || out.write(head) != head.size() || !out.flush()) return FileErrorCode(out, ecDiskWrite);
    return ecOK;
}

void AppendFaxFile(const QString& dest, const QString& src) {
    CheckOrvError(AppendApfFile(dest, src));
}

}  // namespace orv
