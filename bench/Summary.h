#pragma once

// Machine-readable summary lines of the bench programs, one per figure, next to their own
// output; scripts/bench.sh gathers them into a single table:
//   summary|<figure>|<goal>|<measured>|<met>
// where <met> is "yes", "no", or "n/a" when there was nothing to judge.
#include <QString>

#include <cstdio>

namespace bench {

enum class Met { Yes, No, NotMeasured };

inline Met metIf(bool yes) { return yes ? Met::Yes : Met::No; }

// How the bench program was built: figures of a debug build are not the product's.
inline const char* buildKind() {
#ifdef NDEBUG
    return "optimised (NDEBUG)";
#else
    return "debug";
#endif
}

inline void summary(const QString& figure, const QString& goal, const QString& measured, Met met) {
    // A field must not break the line apart.
    const auto field = [](QString text) {
        return text.replace(u'|', u'/').replace(u'\n', u' ').simplified().toUtf8();
    };
    const char* verdict = met == Met::Yes ? "yes" : met == Met::No ? "no" : "n/a";
    std::printf("summary|%s|%s|%s|%s\n", field(figure).constData(), field(goal).constData(),
                field(measured).constData(), verdict);
    std::fflush(stdout); // kept even if the program dies afterwards
}

} // namespace bench
