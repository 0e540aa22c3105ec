// Fuzzes the expression parser and evaluator against the sent-fax fields.
#include "store/expression.h"
#include "common/orv_error.h"

#include <cstdint>

namespace {

const orv::DbfHeader& table() {
    static const orv::DbfHeader h = [] {
        orv::DbfHeader t;
        auto add = [&](const char* n, char type, int w, int d) {
            orv::DbfField f;
            f.name = n;
            f.type = type;
            f.width = w;
            f.decimals = d;
            t.fields.push_back(f);
        };
        add("SUBJECT", 'C', 50, 0);
        add("SENT", 'L', 1, 0);
        add("DATESENT", 'D', 8, 0);
        add("TIMESENT", 'C', 5, 0);
        add("PHONE", 'C', 25, 0);
        add("PAGES", 'N', 4, 1);
        orv::AssignFieldOffsets(t);
        return t;
    }();
    return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        auto e = orv::Expression::compile(text, table());
        QByteArray live(table().recordLength, ' ');
        live.replace(1, 5, "hello");
        live.replace(51, 1, "T");
        live.replace(52, 8, "20260105");
        live.replace(60, 5, "09:30");
        live.replace(90, 4, " 2.5");
        QByteArray blank(table().recordLength, ' ');
        blank[0] = '*';
        for (const QByteArray& rec : {live, blank})
            for (bool exact : {false, true}) (void)e->evaluate(orv::ExprContext{rec.constData(), 3, exact});
        (void)e->canonical();
    } catch (const orv::EOrvException&) {
    }
    return 0;
}
