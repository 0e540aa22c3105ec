#include "shell/button_rules.h"

namespace orv {

MainButtonStates ComputeMainButtonStates(int page, bool receiving, bool sentEmpty, bool receivedEmpty) {
    const bool sent = page == mpSent;
    MainButtonStates s;
    s.newFax = sent;
    s.clone = sent && !sentEmpty;
    // The port belongs to receive mode while it is on.
    s.send = sent && !receiving && !sentEmpty;
    s.maintenance = !receiving;
    // A received fax may be the one being written: no editing or deleting while receiving.
    s.editDelete = sent ? !sentEmpty : !receiving && !receivedEmpty;
    s.view = sent ? !sentEmpty : !receivedEmpty;
    s.receive = true;
    s.sentGrid = !sentEmpty;
    s.receivedGrid = !receivedEmpty;
    return s;
}

}  // namespace orv
