#pragma once
// The port's two diagnostic recorders and their text files:
//  - TraceBuffer: a ring of (kind, byte) pairs, 'R' for each byte taken from the
//    receive ring and 'T' for each byte queued for sending;
//  - DispatchLog: a ring of LogSize bytes of timed events (reads, writes, line
//    and modem status, triggers, errors, thread start and exit).
// Both render to text exactly as the support staff expect to read them; the
// port layer writes the files (WriteDiagnosticFile) and then frees the buffer.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace orv {

class TraceBuffer {
public:
    // entries: 1..32760 (the caller checks the range)
    explicit TraceBuffer(int entries);

    bool Recording() const { return recording_; }
    void SetRecording(bool on) { recording_ = on; }
    void Add(char kind, uint8_t byte);
    void Add(char kind, const uint8_t* bytes, size_t count);
    void Clear();
    int Capacity() const { return int(buffer_.size()); }
    // Oldest first.
    std::vector<std::pair<char, uint8_t>> Entries() const;

    // The trace as text: a header line per run of one kind ("Receive: ",
    // "Transmit: ", "Special-c: ") with an empty line before all but the first,
    // bytes as characters or [hex]/[decimal] items, lines of at most 78 columns.
    static QByteArray Render(const std::vector<std::pair<char, uint8_t>>& entries, bool hex);

private:
    std::vector<uint16_t> buffer_;  // kind << 8 | byte
    size_t head_ = 0;
    bool wrapped_ = false;
    bool recording_ = true;
};

struct LogEntry {
    uint8_t type = 0;
    uint8_t subType = 0;
    uint32_t time = 0;  // milliseconds since the port opened
    uint16_t data = 0;
    QByteArray extra;
};

class DispatchLog {
public:
    // bytes: the ring's size (the caller caps it at 65520)
    explicit DispatchLog(int bytes);

    bool Recording() const { return recording_; }
    void SetRecording(bool on) { recording_ = on; }
    // Drops the oldest entries until the new one fits; one larger than the ring is not logged.
    void Add(uint8_t type, uint8_t subType, uint32_t time, uint16_t data, const uint8_t* extra = nullptr,
             size_t count = 0);
    void Clear();
    int Capacity() const { return capacity_; }
    size_t UsedBytes() const { return used_; }
    const std::deque<LogEntry>& Entries() const { return entries_; }

    static constexpr size_t kEntryHeader = 12;  // type, subtype, time, data, extra count

    // The log as text: two heading lines, then one line per entry (time, type,
    // subtype, data, other data wrapped at column 79 under column 41) and, after
    // a modem-status entry, a line naming its set bits.
    static QByteArray Render(const std::deque<LogEntry>& entries, bool hex);
    static const char* TypeName(uint8_t type);
    static const char* SubTypeName(uint8_t subType);

private:
    int capacity_;
    size_t used_ = 0;
    std::deque<LogEntry> entries_;
    bool recording_ = true;
};

// One byte of trace or log text: itself when printable (from "!" in hex mode,
// from the space otherwise, up to "~"), else "[XX]" or "[n]".
QByteArray RenderTraceByte(uint8_t byte, bool hex);

// Writes text to path, appending when asked and the file exists, otherwise
// creating it anew. 0 or a negative file-system code.
int WriteDiagnosticFile(const QString& path, const QByteArray& text, bool append);

}  // namespace orv
