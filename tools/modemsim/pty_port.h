#pragma once
// A pseudo-terminal that stands in for a serial port. The slave side is
// reached through a symbolic link; modemsim keeps its own descriptor on the
// slave (in raw mode) so the master never sees EIO while no program has the
// port open, and so it can watch the line settings for a dropped DTR.
#include <memory>
#include <string>

namespace orv::modemsim {

class PtyPort {
public:
    // Creates the pseudo-terminal and the link; on failure returns null and sets `error`.
    static std::unique_ptr<PtyPort> open(const std::string& linkPath, std::string& error);
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    const std::string& linkPath() const { return link_; }
    const std::string& slavePath() const { return slaveName_; }
    int masterFd() const { return master_; }
    bool isOpen() const { return master_ >= 0; }

    // The program on the port has set the output speed to 0, the POSIX way to drop DTR.
    bool dtrLow() const;

    // Non-blocking read of what the program wrote; 0 when nothing is waiting.
    size_t read(char* buf, size_t max);
    // Queues bytes for the program and writes what the pty takes now.
    void write(const std::string& bytes);
    // Writes more of the queue; call when the master is writable.
    void flush();
    bool hasPendingOutput() const { return !pending_.empty(); }

    // Closes the pseudo-terminal and removes the link, as if the modem was unplugged.
    void unplug();

private:
    PtyPort() = default;
    std::string link_;
    std::string slaveName_;
    int master_ = -1;
    int slave_ = -1;
    std::string pending_;
};

}  // namespace orv::modemsim
