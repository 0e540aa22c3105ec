#include "richtext/rtf_words.h"

#include <unordered_map>

namespace orv {

namespace {

using W = RtfWord;

std::unordered_map<std::string_view, RtfWordInfo> buildTable() {
    std::unordered_map<std::string_view, RtfWordInfo> t;
    const auto add = [&t](std::initializer_list<std::string_view> names, RtfWord word) {
        for (std::string_view n : names) t.emplace(n, RtfWordInfo{word, 0});
    };
    add({"info", "stylesheet", "pict", "object", "header", "headerl", "headerr", "headerf", "footer", "footerl",
         "footerr", "footerf", "footnote", "annotation", "listtable", "listoverridetable", "revtbl", "rsidtbl",
         "generator", "xmlnstbl", "themedata", "colorschememapping", "datastore", "latentstyles", "pgdsctbl",
         "mmathPr", "filetbl", "userprops", "docvar", "nonshppict", "shp", "shpinst", "shpgrp", "xe", "tc", "pn",
         "pnseclvl", "pntxta", "pntxtb", "template", "fchars", "lchars", "ftnsep", "ftnsepc", "aftnsep",
         "aftnsepc", "aftncn", "ftncn", "bkmkstart", "bkmkend", "txe", "atnid", "atnauthor", "atndate", "atnref",
         "atrfstart", "atrfend", "falt", "panose", "fontemb", "fontfile", "comment", "author", "operator", "title",
         "subject", "keywords", "doccomm", "company", "category", "manager", "hlinkbase", "buptim", "creatim",
         "printim", "revtim", "ud", "upr", "field_inst_unused"},
        W::SkippedDestination);
    const std::pair<std::string_view, char16_t> specials[] = {
        {"line", u'\u2028'},    {"tab", u'\t'},         {"cell", u'\t'},        {"nestcell", u'\t'},
        {"emdash", u'\u2014'},  {"endash", u'\u2013'},  {"emspace", u'\u2003'}, {"enspace", u'\u2002'},
        {"qmspace", u'\u2005'}, {"bullet", u'\u2022'},  {"lquote", u'\u2018'},  {"rquote", u'\u2019'},
        {"ldblquote", u'\u201C'}, {"rdblquote", u'\u201D'}, {"zwj", u'\u200D'}, {"zwnj", u'\u200C'},
        {"ltrmark", u'\u200E'}, {"rtlmark", u'\u200F'}};
    for (const auto& [name, ch] : specials) t.emplace(name, RtfWordInfo{W::Special, ch});

    add({"fonttbl"}, W::FontTable);
    add({"colortbl"}, W::ColorTable);
    add({"field"}, W::Field);
    add({"fldinst"}, W::FieldInstruction);
    add({"fldrslt"}, W::FieldResult);
    add({"orvmerge"}, W::OrvMerge);
    add({"orvmergeend"}, W::OrvMergeEnd);
    add({"orvmarker"}, W::OrvMarker);
    add({"orvhidden"}, W::OrvHidden);
    add({"red"}, W::Red);
    add({"green"}, W::Green);
    add({"blue"}, W::Blue);

    add({"deff"}, W::DefaultFont);
    add({"uc"}, W::UnicodeSkip);
    add({"paperw", "pgwsxn"}, W::PaperWidth);
    add({"paperh", "pghsxn"}, W::PaperHeight);
    add({"margl", "marglsxn"}, W::MarginLeft);
    add({"margr", "margrsxn"}, W::MarginRight);
    add({"margt", "margtsxn"}, W::MarginTop);
    add({"margb", "margbsxn"}, W::MarginBottom);
    add({"sectd", "sbkpage", "sbkodd", "sbkeven"}, W::SectionBreaksPage);
    add({"sbknone", "sbkcol"}, W::SectionBreaksNone);
    add({"bin"}, W::Binary);

    add({"par"}, W::Par);
    add({"row"}, W::Row);
    add({"sect"}, W::Sect);
    add({"page"}, W::Page);
    add({"u"}, W::Unicode);

    add({"plain"}, W::Plain);
    add({"f"}, W::Font);
    add({"fs"}, W::FontSize);
    add({"b"}, W::Bold);
    add({"i"}, W::Italic);
    add({"ul", "uld", "uldb", "uldash", "uldashd", "uldashdd", "ulth", "ulw", "ulwave", "uldbwave", "ulhwave",
         "ulthd", "ulthdash", "ulldash", "ulthldash"},
        W::Underline);
    add({"ulnone"}, W::UnderlineNone);
    add({"strike", "striked"}, W::Strike);
    add({"v"}, W::Hidden);
    add({"super"}, W::Super);
    add({"sub"}, W::Sub);
    add({"nosupersub"}, W::NoSuperSub);
    add({"cf"}, W::Foreground);
    add({"cb", "highlight", "chcbpat"}, W::Background);

    add({"pard"}, W::Pard);
    add({"ql"}, W::AlignLeft);
    add({"qr"}, W::AlignRight);
    add({"qc"}, W::AlignCenter);
    add({"qj", "qd"}, W::AlignJustify);
    add({"li", "lin"}, W::LeftIndent);
    add({"ri", "rin"}, W::RightIndent);
    add({"fi"}, W::FirstIndent);
    add({"sb"}, W::SpaceBefore);
    add({"sa"}, W::SpaceAfter);
    add({"sl"}, W::LineSpacing);
    add({"slmult"}, W::LineSpacingMultiple);
    add({"pagebb"}, W::PageBreakBefore);
    add({"tqr"}, W::TabRight);
    add({"tqc"}, W::TabCenter);
    add({"tqdec"}, W::TabDecimal);
    add({"tx"}, W::TabStop);
    add({"tb"}, W::TabBar);
    return t;
}

}  // namespace

RtfWordInfo LookUpRtfWord(std::string_view name) {
    static const std::unordered_map<std::string_view, RtfWordInfo> table = buildTable();
    const auto it = table.find(name);
    return it == table.end() ? RtfWordInfo{} : it->second;
}

}  // namespace orv
