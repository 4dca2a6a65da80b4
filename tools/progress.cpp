#include "progress.hpp"

#include <algorithm>
#include <cstdio>

#include "console.hpp"

namespace tools {

namespace {

using Seconds = std::chrono::duration<double>;

struct Part {
    std::string text;
    int keep;           // parts with the lowest go first
    std::string brief;  // said in fewer words before anything goes
};

std::string Join(const std::vector<Part>& parts) {
    std::string line;
    for (const Part& part : parts) line += (line.empty() ? "" : ", ") + part.text;
    return line;
}

std::string Fit(std::vector<Part> parts, std::size_t width) {
    std::string line = Join(parts);
    for (Part& part : parts) {
        if (line.size() <= width) break;
        if (part.brief.empty()) continue;
        part.text = part.brief;
        line = Join(parts);
    }
    while (line.size() > width && parts.size() > 1) {
        parts.erase(std::min_element(parts.begin(), parts.end(),
                                     [](const Part& a, const Part& b) { return a.keep < b.keep; }));
        line = Join(parts);
    }
    return line.substr(0, width);
}

// Columns as wide as their widest cell; the last one as it is. On a
// terminal a line is cut at its width, so that nothing wraps: a reason
// cut short here is printed whole on standard error.
void PrintTable(const std::vector<std::vector<std::string>>& rows, bool terminal) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
    }
    const std::size_t columns = static_cast<std::size_t>(std::max(TerminalColumns() - 1, 1));
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size()) line += std::string(widths[c] - row[c].size() + 2, ' ');
        }
        if (terminal && line.size() > columns) line = line.substr(0, columns - std::min<std::size_t>(columns, 3)) + "...";
        while (!line.empty() && line.back() == ' ') line.pop_back();
        std::fprintf(stdout, "%s\n", line.c_str());
    }
}

std::string OfCount(uint64_t done, uint64_t total) { return std::to_string(done) + " of " + std::to_string(total); }

}  // namespace

std::string ReasonAlone(const PortRun& run) {
    std::string reason = run.Reason();
    const std::string prefix = run.Port().label + ": ";
    if (reason.compare(0, prefix.size(), prefix) == 0) reason.erase(0, prefix.size());
    return reason;
}

void PrintSummary(const std::vector<PortRun*>& runs, const ImageCount& count, bool terminal) {
    std::vector<std::vector<std::string>> rows{{"port", "result", "bytes", "frames", "time", "reason"}};
    for (PortRun* run : runs) {
        const RunState state = run->State();
        rows.push_back({run->Port().written, ResultWord(state.result), OfCount(state.bytes, count.dataBytes),
                        OfCount(static_cast<uint64_t>(state.frames), static_cast<uint64_t>(count.frames)),
                        Duration(Seconds(state.ended - state.started).count()), ReasonAlone(*run)});
    }
    if (terminal) {
        PrintTable(rows, true);
    } else {
        for (std::size_t i = 1; i < rows.size(); ++i) {
            const auto& r = rows[i];
            std::fprintf(stdout, "%s: %s, %s bytes, %s frames, %s%s%s\n", r[0].c_str(), r[1].c_str(), r[2].c_str(),
                         r[3].c_str(), r[4].c_str(), r[5].empty() ? "" : ": ", r[5].c_str());
        }
    }
    std::fflush(stdout);
}

void PrintTallies(const std::vector<Tally>& tallies, bool terminal) {
    std::vector<std::vector<std::string>> rows{{"port", "written", "failed"}};
    for (const Tally& t : tallies) rows.push_back({t.port, std::to_string(t.written), std::to_string(t.failed)});
    if (terminal) {
        PrintTable(rows, true);
    } else {
        for (const Tally& t : tallies)
            std::fprintf(stdout, "%s: %ld written, %ld failed\n", t.port.c_str(), t.written, t.failed);
    }
    std::fflush(stdout);
}

std::string ProgressText(const RunState& state, const ImageCount& count, Clock::time_point now,
                         std::size_t width, bool result) {
    const double elapsed = Seconds(now - state.started).count();
    const double silent = Seconds(now - state.lastAnswer).count();
    const double rate = elapsed > 0 ? static_cast<double>(state.bytes) / elapsed : 0;
    const double left =
        rate > 0 && count.dataBytes > state.bytes ? static_cast<double>(count.dataBytes - state.bytes) / rate : 0;
    std::vector<Part> parts = {
        {std::to_string(state.bytes) + " of " + std::to_string(count.dataBytes) + " bytes", 2, ""},
        {"frame " + std::to_string(state.frames) + " of " + std::to_string(count.frames), 4, ""},
    };
    char text[32];
    if (result && state.result != RunResult::Running) {
        parts.push_back({ResultWord(state.result), 5, ""});
    } else if (state.result == RunResult::Running && silent >= Seconds(SilenceShown).count()) {
        parts.push_back({"no answer from the printer for " + Duration(silent), 5, "no answer for " + Duration(silent)});
    } else {
        std::snprintf(text, sizeof text, "%.0f bytes/s", rate);
        parts.push_back({text, 0, ""});
        parts.push_back({Duration(left) + " left", 1, ""});
    }
    return Fit(std::move(parts), width);
}

ProgressView::ProgressView(bool terminal, const ImageCount& count, bool labelled)
    : terminal_(terminal), count_(count), labelled_(labelled) {}

void ProgressView::Update(const std::vector<PortRun*>& all, bool last) {
    // A port that never opened has nothing to show: its reason is told once.
    std::vector<PortRun*> runs;
    for (PortRun* run : all) {
        if (run->Opened() || run->State().result == RunResult::Running) runs.push_back(run);
    }
    if (!terminal_) {
        for (PortRun* run : runs) Plain(*run, last);
        std::fflush(stdout);
        return;
    }
    const Clock::time_point now = Clock::now();
    if (!last && drawn_ > 0 && now - drawnAt_ < std::chrono::milliseconds(100)) return;
    const std::size_t columns = static_cast<std::size_t>(std::max(TerminalColumns() - 1, 1));
    // A block taller than the terminal cannot be redrawn in place.
    if (runs.size() + 1 > static_cast<std::size_t>(std::max(TerminalRows(), 1))) {
        Compact(runs, now, columns, last);
        return;
    }
    std::size_t labelWidth = 0;
    for (PortRun* run : runs) labelWidth = std::max(labelWidth, run->Port().written.size());
    std::vector<std::string> lines;
    for (PortRun* run : runs) {
        std::string line = labelled_ ? run->Port().written + std::string(labelWidth - run->Port().written.size() + 2, ' ')
                                     : std::string();
        const std::size_t room = columns > line.size() ? columns - line.size() : 1;
        line += ProgressText(run->State(), count_, now, room, labelled_);
        line.resize(columns, ' ');
        lines.push_back(std::move(line));
    }
    if (lines != lines_ || last) {
        if (drawn_ > 1) CursorUp(static_cast<int>(drawn_ - 1));
        for (std::size_t i = 0; i < lines.size(); ++i)
            std::fprintf(stdout, "\r%s%s", lines[i].c_str(), i + 1 < lines.size() ? "\n" : "");
        drawn_ = lines.size();
        lines_ = std::move(lines);
        drawnAt_ = now;
    }
    if (last && drawn_ > 0) {
        std::fputc('\n', stdout);
        drawn_ = 0;
        lines_.clear();
    }
    std::fflush(stdout);
}

// More ports than rows: a line for each port as it ends, and below them one
// line of totals, redrawn in place.
void ProgressView::Compact(const std::vector<PortRun*>& runs, Clock::time_point now, std::size_t columns, bool last) {
    std::size_t written = 0, failed = 0, running = 0;
    std::string ended;
    for (PortRun* run : runs) {
        const RunState state = run->State();
        if (state.result == RunResult::Running) {
            ++running;
            continue;
        }
        (state.result == RunResult::Written ? written : failed) += 1;
        Shown& shown = shown_[run];
        if (shown.ended) continue;
        shown.ended = true;
        std::string line = run->Port().written + "  ";
        line += ProgressText(state, count_, now, columns > line.size() ? columns - line.size() : 1, true);
        line.resize(columns, ' ');
        ended += "\r" + line + "\n";
    }
    char totals[160];
    std::snprintf(totals, sizeof totals, "%zu ports: %zu written, %zu failed, %zu writing", runs.size(), written,
                  failed, running);
    std::string line = std::string(totals).substr(0, columns);
    line.resize(columns, ' ');
    if (ended.empty() && line == compactLine_ && !last) return;
    std::fprintf(stdout, "%s\r%s", ended.c_str(), line.c_str());
    compactLine_ = line;
    drawnAt_ = now;
    drawn_ = 1;
    if (last) {
        std::fputc('\n', stdout);
        drawn_ = 0;
        compactLine_.clear();
    }
    std::fflush(stdout);
}

// One line for every tenth of the image, the last, and one for every
// SilenceRetold the printer has been silent.
void ProgressView::Plain(PortRun& run, bool last) {
    Shown& shown = shown_[&run];
    const RunState state = run.State();
    const Clock::time_point now = Clock::now();
    const int tenth = count_.frames > 0 ? static_cast<int>(state.frames * 10 / count_.frames) : 10;
    const long silence = state.result == RunResult::Running ? static_cast<long>((now - state.lastAnswer) / SilenceRetold) : 0;
    bool show = (tenth != shown.tenth && !last) || (last && state.frames != shown.frames);
    if (silence == 0) shown.silence = 0;
    if (silence > shown.silence) show = true;
    if (!show || shown.ended) return;
    shown.tenth = tenth;
    shown.frames = state.frames;
    shown.silence = silence;
    shown.ended = last;
    const std::string prefix = labelled_ ? run.Port().written + ": " : "";
    std::fprintf(stdout, "%s%s\n", prefix.c_str(), ProgressText(state, count_, now, 1000, false).c_str());
}

}  // namespace tools
