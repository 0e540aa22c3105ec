#include "engine/trace_log.h"

#include "common/orv_error.h"
#include "engine/port_types.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace orv {

QByteArray RenderTraceByte(uint8_t byte, bool hex) {
    const uint8_t lowest = hex ? '!' : ' ';
    if (byte >= lowest && byte <= '~') return QByteArray(1, char(byte));
    char item[8];
    if (hex)
        std::snprintf(item, sizeof item, "[%02X]", byte);
    else
        std::snprintf(item, sizeof item, "[%u]", byte);
    return QByteArray(item);
}

// ---- trace -------------------------------------------------------------------

TraceBuffer::TraceBuffer(int entries) : buffer_(size_t(entries > 0 ? entries : 1)) {}

void TraceBuffer::Add(char kind, uint8_t byte) {
    if (!recording_) return;
    buffer_[head_] = uint16_t((uint8_t(kind) << 8) | byte);
    if (++head_ == buffer_.size()) {
        head_ = 0;
        wrapped_ = true;
    }
}

void TraceBuffer::Add(char kind, const uint8_t* bytes, size_t count) {
    if (!recording_) return;
    for (size_t i = 0; i < count; ++i) Add(kind, bytes[i]);
}

void TraceBuffer::Clear() {
    head_ = 0;
    wrapped_ = false;
}

std::vector<std::pair<char, uint8_t>> TraceBuffer::Entries() const {
    std::vector<std::pair<char, uint8_t>> out;
    auto push = [&](size_t i) { out.emplace_back(char(buffer_[i] >> 8), uint8_t(buffer_[i] & 0xFF)); };
    if (wrapped_)
        for (size_t i = head_; i < buffer_.size(); ++i) push(i);
    for (size_t i = 0; i < head_; ++i) push(i);
    return out;
}

QByteArray TraceBuffer::Render(const std::vector<std::pair<char, uint8_t>>& entries, bool hex) {
    QByteArray out;
    int column = 0;
    bool first = true;
    char kind = 0;
    for (const auto& [k, byte] : entries) {
        if (first || k != kind) {
            if (!first) out += "\n\n";
            QByteArray header = k == 'R'   ? QByteArray("Receive: ")
                                : k == 'T' ? QByteArray("Transmit: ")
                                           : QByteArray("Special-") + k + ": ";
            out += header;
            column = int(header.size());
            kind = k;
            first = false;
        }
        const QByteArray item = RenderTraceByte(byte, hex);
        if (column + item.size() > 78) {
            out += '\n';
            column = 0;
        }
        out += item;
        column += int(item.size());
    }
    if (!first) out += '\n';
    return out;
}

// ---- log -----------------------------------------------------------------------

DispatchLog::DispatchLog(int bytes) : capacity_(bytes > 0 ? bytes : 0) {}

void DispatchLog::Add(uint8_t type, uint8_t subType, uint32_t time, uint16_t data, const uint8_t* extra,
                      size_t count) {
    if (!recording_) return;
    if (count > 0xFFFF) return;  // the entry's count field is 16 bits; such an entry is larger than any ring
    const size_t size = kEntryHeader + count;
    if (size > size_t(capacity_)) return;
    while (used_ + size > size_t(capacity_)) {
        used_ -= kEntryHeader + size_t(entries_.front().extra.size());
        entries_.pop_front();
    }
    LogEntry e;
    e.type = type;
    e.subType = subType;
    e.time = time;
    e.data = data;
    if (count) e.extra = QByteArray(reinterpret_cast<const char*>(extra), qsizetype(count));
    entries_.push_back(std::move(e));
    used_ += size;
}

void DispatchLog::Clear() {
    entries_.clear();
    used_ = 0;
}

const char* DispatchLog::TypeName(uint8_t type) {
    static const char* const names[] = {"no event", "dispatch", "trigger", "error", "thread"};
    return type < 5 ? names[type] : "";
}

const char* DispatchLog::SubTypeName(uint8_t subType) {
    static const char* const names[] = {"",      "readcom", "writecom", "line status", "modem status",
                                        "avail", "timer",   "data",     "status",      "start",
                                        "exit",  "sleep",   "wake"};
    return subType < 13 ? names[subType] : "";
}

QByteArray DispatchLog::Render(const std::deque<LogEntry>& entries, bool hex) {
    static const QByteArray indent(40, ' ');
    QByteArray out = "Time      Type      SubType       Data  OtherData\n"
                     "----      ----      -------       ----  ---------\n";
    for (const LogEntry& e : entries) {
        char head[64];
        std::snprintf(head, sizeof head, "%08u  %-8s  %-12s  %04X  ", e.time, TypeName(e.type),
                      SubTypeName(e.subType), unsigned(e.data));
        out += head;
        int column = 40;
        for (char c : e.extra) {
            const QByteArray item = RenderTraceByte(uint8_t(c), hex);
            if (column + item.size() > 79) {
                out += '\n';
                out += indent;
                column = 40;
            }
            out += item;
            column += int(item.size());
        }
        out += '\n';
        if (e.type == ltDispatch && e.subType == lsModemStatus) {
            static const char* const bits[] = {"DCTS ", "DDSR ", "TERI ", "DDCD ", "CTS ", "DSR ", "RI ", "DCD "};
            out += indent;
            for (int b = 0; b < 8; ++b)
                if (e.data & (1u << b)) out += bits[b];
            out += '\n';
        }
    }
    return out;
}

// ---- files ----------------------------------------------------------------------

int WriteDiagnosticFile(const QString& path, const QByteArray& text, bool append) {
    const QByteArray name = path.toLocal8Bit();
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    const int fd = ::open(name.constData(), flags, 0666);
    if (fd < 0) {
        switch (errno) {
        case ENOENT: case ENOTDIR: return ecPathNotFound;
        case EACCES: case EPERM: case EROFS: case EISDIR: return ecAccessDenied;
        case EMFILE: case ENFILE: return ecTooManyFiles;
        case ENOSPC: case EDQUOT: return ecDiskFull;
        default: return ecDiskWrite;
        }
    }
    const char* p = text.constData();
    qsizetype left = text.size();
    int result = ecOK;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            result = (n < 0 && errno != ENOSPC && errno != EDQUOT) ? ecDiskWrite : ecDiskFull;
            break;
        }
        p += n;
        left -= n;
    }
    if (::close(fd) != 0 && result == ecOK) result = ecDiskWrite;
    return result;
}

}  // namespace orv
