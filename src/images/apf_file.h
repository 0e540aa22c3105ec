#pragma once
// APF fax files: a 64-byte file header and a chain of pages, each a 16-byte
// page header followed by ImageLength bytes of T.4 Modified Huffman data.
//
//   ApfFileHeader / ApfPageHeader   the two headers, to and from their bytes
//   ApfReader                       opens a file, walks the page chain, hands out
//                                   page headers and page data (fax sender,
//                                   decoder, `orvfax info`)
//   ApfWriter                       creates a file page by page (converter, fax
//                                   receiver); after every finished page the file
//                                   on disk is a valid APF file of those pages
//   AppendApfFile / AppendFaxFile   join two files (fax file creation)
//
// Every function returns 0 or a negative result code (common/orv_error.h),
// except AppendFaxFile, which throws.
#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <cstdint>

namespace orv {

constexpr int kApfFileHeaderSize = 64;
constexpr int kApfPageHeaderSize = 16;
constexpr int kApfStationIdLength = 20;
// The largest line record a reader takes (longer records are cut to this).
constexpr int kApfMaxRecordLength = 4096;
extern const char kApfSignature[6];  // "APF10" 0x1A

// PageFlags bits.
enum : uint16_t {
    pfHighRes = 1,      // fine resolution (about 196 lines per inch)
    pfWide = 2,         // 2048-pixel lines instead of 1728
    pfLengthWords = 4,  // image data are line records with 16-bit length words
};

struct ApfFileHeader {
    uint32_t fileDate = 0;    // MS-DOS packed local date and time, 0 = no date
    QByteArray stationId;     // the valid characters (0..20 bytes)
    uint16_t pageCount = 0;
    uint32_t firstPageOffset = kApfFileHeaderSize;

    // The 64 bytes; station id padded with blanks. When padStationId is true the
    // id is padded to 20 characters and written with length 20 (fax receivers).
    QByteArray toBytes(bool padStationId = false) const;
    // False when the first 6 bytes are not the signature (or fewer than 64 bytes).
    static bool fromBytes(const QByteArray& bytes, ApfFileHeader& header);
};

struct ApfPageHeader {
    uint32_t imageLength = 0;  // bytes of image data after this header
    uint16_t pageFlags = 0;

    bool highRes() const { return pageFlags & pfHighRes; }
    bool wide() const { return pageFlags & pfWide; }
    bool lengthWords() const { return pageFlags & pfLengthWords; }
    int lineWidth() const { return wide() ? 2048 : 1728; }

    QByteArray toBytes() const;
    static ApfPageHeader fromBytes(const char* bytes16);
};

// MS-DOS packed date and time; 0 for a year outside 1980..2099.
uint32_t PackDosDateTime(const QDateTime& local);
// An invalid QDateTime for 0 or a value that is no real date.
QDateTime UnpackDosDateTime(uint32_t packed);

// The result code for a failed QFile operation: the operating system's error
// number negated where it is known (-2, -3, -5, ...), otherwise fallback.
int FileErrorCode(const QFileDevice& file, int fallback);

class ApfReader {
public:
    // Opens read-only and checks the signature: -2 for an empty name or a missing
    // file, another file error, or -8001 for a file that is not an APF file.
    int open(const QString& fileName);
    void close();
    bool isOpen() const { return file_.isOpen(); }

    const ApfFileHeader& header() const { return header_; }
    int pageCount() const { return header_.pageCount; }
    QString fileName() const { return file_.fileName(); }
    qint64 fileSize() const { return file_.size(); }

    // Walks the page chain to page (1..pageCount), reads its header and leaves the
    // file positioned at the page's image data. -8001 for a page number out of
    // range or a chain that leaves the file.
    int seekPage(int page, ApfPageHeader& pageHeader);
    // The file offset of the image data of the page found by the last seekPage.
    qint64 pageDataOffset() const { return dataOffset_; }
    // seekPage, then the whole image data. A page whose ImageLength reaches past
    // the end of the file gives the bytes that are there and -8001.
    int readPage(int page, ApfPageHeader& pageHeader, QByteArray& data);
    // Reads up to maxBytes at the current position; the count read, or a code.
    qint64 read(char* data, qint64 maxBytes);
    QFile& file() { return file_; }

private:
    QFile file_;
    ApfFileHeader header_;
    qint64 dataOffset_ = 0;
    // The chain walk is cached so reading pages in order does not start over.
    int cachedPage_ = 0;
    qint64 cachedHeaderPos_ = 0;
};

class ApfWriter {
public:
    ApfWriter() = default;
    ~ApfWriter();  // closes a file still open, keeping what was finished
    ApfWriter(const ApfWriter&) = delete;
    ApfWriter& operator=(const ApfWriter&) = delete;

    // Creates (or truncates) the file and writes the provisional header.
    int create(const QString& fileName, const QByteArray& stationId = {}, bool padStationId = false);
    bool isOpen() const { return file_.isOpen(); }
    QString fileName() const { return file_.fileName(); }

    void setStationId(const QByteArray& stationId, bool padStationId = false);
    // Starts a page: writes its header with ImageLength 0.
    int beginPage(uint16_t pageFlags);
    bool pageOpen() const { return pageOpen_; }
    // Image data of the open page, counted into its ImageLength.
    int writeData(const void* data, qint64 size);
    // One line record (16-bit length word, then the bytes); len 0..4096.
    int writeLineRecord(const uint8_t* data, int len);
    // Finishes the page: rewrites its ImageLength, counts it, and rewrites the
    // file header, so the file holds a valid chain of the pages so far.
    int endPage();
    // Forgets the open page: the file is cut back to where its header began.
    int dropPage();
    // The final header with a fresh FileDate; flushes and closes the file.
    // A page still open is finished first.
    int finish();
    // Closes and deletes the file (a conversion that failed).
    void discard();

    int pageCount() const { return header_.pageCount; }
    uint32_t currentImageLength() const { return imageLength_; }

private:
    int writeAll(const void* data, qint64 size);
    int writeHeader();

    QFile file_;
    ApfFileHeader header_;
    bool padStationId_ = false;
    bool pageOpen_ = false;
    qint64 pageHeaderPos_ = 0;
    uint16_t pageFlags_ = 0;
    uint32_t imageLength_ = 0;
};

// Appends all pages of src to dest: src's bytes from its FirstPageOffset go
// after dest's last page, and dest's PageCount becomes the sum. dest keeps its
// signature, FileDate and StationId. The header is written last, so a failure
// on the way leaves dest holding its own pages. Codes: -2 for a missing file,
// -8001 for a file that is not an APF file or whose page chain is broken,
// -1002 when the sum would pass 65535 pages, file errors.
int AppendApfFile(const QString& dest, const QString& src);
// The same, raising the exception of a failing code.
void AppendFaxFile(const QString& dest, const QString& src);

}  // namespace orv
