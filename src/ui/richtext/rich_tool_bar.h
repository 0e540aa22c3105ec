#pragma once
// TRichToolBar: the tool bar bound to one TRichEditor: font name and size
// lists (sizes from 8), normal, bold, italic, underline, left, right,
// justified and centred paragraphs, copy, cut, paste and spell check. The
// windows append their own buttons with addButton. It follows the editor's
// insertion point, so the lists and buttons always show the format there.
#include <QPointer>
#include <QToolBar>

class QComboBox;
class QFontComboBox;
class QTextCharFormat;
class QToolButton;

namespace orv {

class TRichEditor;

class TRichToolBar : public QToolBar {
    Q_OBJECT
public:
    explicit TRichToolBar(QWidget* parent = nullptr);

    void setEditor(TRichEditor* editor);
    TRichEditor* editor() const { return editor_; }

    // Appends a window's own button (or any widget) after the built-in ones.
    void addButton(QWidget* button);

    static const QList<int> kFontSizes;  // 8, 9, 10, 11, 12, 14, ... 72

private:
    QToolButton* makeButton(const char* objectName, const QString& text, const QString& hint, bool checkable);
    void updateFromEditor();
    void applyFontSize();

    QPointer<TRichEditor> editor_;
    QFontComboBox* fontName_ = nullptr;
    QComboBox* fontSize_ = nullptr;
    QToolButton* bold_ = nullptr;
    QToolButton* italic_ = nullptr;
    QToolButton* underline_ = nullptr;
    QToolButton* left_ = nullptr;
    QToolButton* right_ = nullptr;
    QToolButton* justify_ = nullptr;
    QToolButton* center_ = nullptr;
    QList<QMetaObject::Connection> editorConnections_;
    bool updating_ = false;
};

}  // namespace orv
