#pragma once
// The RTF control words the reader acts on, found with one table lookup
// instead of a comparison with every name in turn.
#include <string_view>

namespace orv {

enum class RtfWord : unsigned char {
    Unknown,            // formatting the reader does not keep, or no RTF word at all
    SkippedDestination, // a destination whose contents never show as text
    Special,            // a word that stands for one character (RtfWordInfo::ch)
    // destinations
    FontTable, ColorTable, Field, FieldInstruction, FieldResult, OrvMerge, OrvMergeEnd, OrvMarker, OrvHidden,
    // font and colour tables
    Red, Green, Blue,
    // document and section
    DefaultFont, UnicodeSkip, PaperWidth, PaperHeight, MarginLeft, MarginRight, MarginTop, MarginBottom,
    SectionBreaksPage, SectionBreaksNone, Binary,
    // breaks and characters
    Par, Row, Sect, Page, Unicode,
    // character formatting
    Plain, Font, FontSize, Bold, Italic, Underline, UnderlineNone, Strike, Hidden, Super, Sub, NoSuperSub,
    Foreground, Background,
    // paragraph formatting
    Pard, AlignLeft, AlignRight, AlignCenter, AlignJustify, LeftIndent, RightIndent, FirstIndent,
    SpaceBefore, SpaceAfter, LineSpacing, LineSpacingMultiple, PageBreakBefore, TabRight, TabCenter,
    TabDecimal, TabStop, TabBar,
};

struct RtfWordInfo {
    RtfWord word = RtfWord::Unknown;
    char16_t ch = 0;  // the character of a Special word
};

// The word's meaning; RtfWord::Unknown for any name the reader ignores.
RtfWordInfo LookUpRtfWord(std::string_view name);

}  // namespace orv
