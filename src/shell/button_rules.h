#pragma once
// Which commands of the main window are available, from the page shown, the
// receive mode and whether each list has a current record. Buttons and their
// menu items always share one state.
namespace orv {

enum TMainPage { mpSent = 0, mpReceived = 1 };

struct MainButtonStates {
    bool newFax = false;          // Newbutton, mnuNew
    bool clone = false;           // CloneButton, mnuClone
    bool send = false;            // SendButton, mnuSend
    bool editDelete = false;      // EditButton, DeleteButton, mnuEdit, mnuDelete
    bool view = false;            // ViewFaxButton, mnuViewPrint
    bool maintenance = false;     // mnuRebuildIndexes, mnuPreferences
    bool receive = true;          // ReceiveButton, mnuReceive: they start and stop receive mode
    bool sentGrid = false;        // FaxGrid
    bool receivedGrid = false;    // RecFaxGrid
};

MainButtonStates ComputeMainButtonStates(int page, bool receiving, bool sentEmpty, bool receivedEmpty);

}  // namespace orv
