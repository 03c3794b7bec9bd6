// The window's figures of today's build beside this build's, in one run: runs
// bench_window_startup of each, one after the other, and prints their figures side by side and
// the summary lines of this build against the goals.
//
//   bench_window_side_by_side [--today PROGRAM]
//
// PROGRAM is bench_window_startup built with the sources of the last commit before the hidden
// tabs' pages rested (scripts/bench.sh builds it); without it, this build with resting turned
// off stands in for today's. Nothing here links Qt: a process that maps the web engine's
// libraries would share their pages with the window's and lower its proportional set size.
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <unistd.h>

namespace {

using Figures = std::map<std::string, double>;

// Runs `command` and keeps its "figure|<name>|<value>" lines; the rest of what it says is
// passed on, marked with `label`. False when it failed.
bool run(const std::string& label, const std::string& command, Figures& figures) {
    FILE* out = popen((command + " 2>&1").c_str(), "r");
    if (!out)
        return false;
    char line[4096];
    while (std::fgets(line, sizeof line, out)) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n')
            text.pop_back();
        const size_t name = text.find('|'), value = text.rfind('|');
        if (text.rfind("figure|", 0) == 0 && value > name)
            figures[text.substr(name + 1, value - name - 1)] = std::atof(text.c_str() + value + 1);
        else
            std::printf("[%s] %s\n", label.c_str(), text.c_str());
    }
    const int status = pclose(out);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string shown(const Figures& figures, const std::string& name, const char* unit) {
    const auto found = figures.find(name);
    if (found == figures.end() || found->second < 0)
        return "-";
    char text[64];
    std::snprintf(text, sizeof text, std::string(unit) == "MiB" ? "%.1f %s" : "%.0f %s",
                  found->second, unit);
    return text;
}

double value(const Figures& figures, const char* name) {
    const auto found = figures.find(name);
    return found == figures.end() ? -1 : found->second;
}

void summary(const std::string& figure, const std::string& goal, const std::string& measured,
             bool met) {
    std::printf("summary|%s|%s|%s|%s\n", figure.c_str(), goal.c_str(), measured.c_str(),
                met ? "yes" : "no");
}

// A quoted word for the shell.
std::string quoted(const std::string& word) {
    std::string text = "'";
    for (const char c : word)
        text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

} // namespace

int main(int argc, char** argv) {
    std::string self = argv[0];
    const std::string folder = self.substr(0, self.rfind('/') + 1);
    const std::string window = quoted(folder + "bench_window_startup");
    const std::string today = argc == 3 && std::string(argv[1]) == "--today" ? argv[2] : "";
    if (today.empty())
        std::printf("no --today build: this build with resting off stands in for it, with this "
                    "build's list page\n");
    Figures before, now;
    const bool beforeRan =
        run("today", today.empty() ? window + " --never-rest" : quoted(today), before);
    const bool nowRan = run("now", window, now);

    const struct {
        const char* name;
        const char* unit;
    } rows[] = {{"application ready ms", "ms"},
                {"window shown ms", "ms"},
                {"first paint ms", "ms"},
                {"shown tab's page loaded ms", "ms"},
                {"all 7 pages loaded ms", "ms"},
                {"start-up", "MiB"},
                {"start-up, settled", "MiB"},
                {"every tab shown", "MiB"},
                {"every tab shown, settled", "MiB"},
                {"list complete ms", "ms"},
                {"list open", "MiB"},
                {"hour, after 5 min", "MiB"},
                {"hour, after 60 min", "MiB"},
                {"hour, most", "MiB"},
                {"hour, list asked", "times"}};
    std::printf("\n%-36s %16s %16s\n", "figure (PSS: program + web engine)", "today's build",
                "this build");
    for (const auto& row : rows)
        std::printf("%-36s %16s %16s\n", row.name, shown(before, row.name, row.unit).c_str(),
                    shown(now, row.name, row.unit).c_str());

    const auto beside = [&](const char* name, const char* unit) {
        return shown(now, name, unit) + " (today " + shown(before, name, unit) + ")";
    };
    // Times are compared with today's with room for the noise of one run.
    const auto noWorse = [&](const char* name) {
        const double then = value(before, name), current = value(now, name);
        return current >= 0 && then >= 0 && current <= std::max(then * 1.2, then + 50);
    };
    const auto within = [&](const char* name, double most) {
        return value(now, name) > 0 && value(now, name) <= most;
    };
    summary("window: first paint", "≤ 1000 ms, ≤ today's", beside("first paint ms", "ms"),
            noWorse("first paint ms") && within("first paint ms", 1000));
    summary("window: the shown tab's page loaded", "≤ today's",
            beside("shown tab's page loaded ms", "ms"), noWorse("shown tab's page loaded ms"));
    summary("window: all 7 start pages loaded", "≤ 3000 ms, ≤ today's",
            beside("all 7 pages loaded ms", "ms"),
            noWorse("all 7 pages loaded ms") && within("all 7 pages loaded ms", 3000));
    summary("window: memory after start-up (PSS, program + web engine)", "≤ 120 MiB",
            beside("start-up", "MiB"), within("start-up", 120));
    summary("window: memory after every tab was shown once, settled", "≤ 140 MiB",
            beside("every tab shown, settled", "MiB"), within("every tab shown, settled", 140));
    summary("window: memory with UT99's list of 2,000 servers open", "≤ today's",
            beside("list open", "MiB"),
            value(now, "list open") > 0 && value(now, "list open") <= value(before, "list open"));
    const double first = value(now, "hour, after 5 min"), last = value(now, "hour, after 60 min");
    const double growth = first > 0 ? (last - first) / first * 100 : -1;
    char measured[96];
    std::snprintf(measured, sizeof measured, "%.1f %% (%.1f → %.1f MiB)", growth, first, last);
    summary("window: growth over an hour of the list's live refresh", "≤ 5 %", measured,
            first > 0 && growth <= 5);
    return beforeRan && nowRan ? 0 : 1;
}
