#include "shell/rich_text_memo.h"

#include "config/program_folder.h"
#include "store/tengine_link.h"

namespace orv {

QString RichTextTransferFile() { return ProgramFolder() + QStringLiteral("Eraseme.rtf"); }

bool MemoToTransferFile(const QString& memoField, TEngineLink& link) {
    const QString file = RichTextTransferFile();
    bool ok = false;
    try {
        ok = link.memoToFile(memoField, file);
    } catch (const std::exception&) {
        ok = false;
    }
    if (!ok) QFile::remove(file);
    return ok;
}

void MemoFromTransferFile(const QString& memoField, TEngineLink& link) {
    link.replaceMemoFromFile(memoField, RichTextTransferFile());
}

}  // namespace orv
