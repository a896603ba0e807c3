#include "app/watch_journal.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "objects/number_text.h"

namespace verava {
namespace {

// File names may hold anything but '/' and NUL: the separators and '%' are escaped.
std::string Escape(const std::string& field) {
    std::string out;
    for (const char c : field) {
        if (c == '%') {
            out += "%25";
        } else if (c == '\t') {
            out += "%09";
        } else if (c == '\n') {
            out += "%0A";
        } else if (c == '\r') {
            out += "%0D";
        } else {
            out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '%' && i + 2 < field.size()) {
            const std::string hex = field.substr(i + 1, 2);
            if (hex == "25" || hex == "09" || hex == "0A" || hex == "0D") {
                out += static_cast<char>(std::stoi(hex, nullptr, 16));
                i += 2;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

std::string Line(std::initializer_list<std::string> fields) {
    std::string line;
    for (const std::string& field : fields) {
        if (!line.empty()) line += '\t';
        line += Escape(field);
    }
    return line + "\n";
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(Unescape(line.substr(start, tab - start)));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return fields;
}

// The journal lies in a folder others may write to (a share the scanner drops into): a line
// naming a path rather than a scan of this folder would have the watcher move, merge or
// write files elsewhere, so such a job is passed over and its files are seen afresh.
bool PlainScanName(const std::string& name) {
    if (name.empty() || name.size() > 255 || name[0] == '.' ||
        name.find_first_of(std::string("/\0", 2)) != std::string::npos)
        return false;
    std::string tail = name.size() >= 4 ? name.substr(name.size() - 4) : "";
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".pdf";
}

bool PlainJob(const WatchJob& job) {
    if (!PlainScanName(job.odd) || job.odd == job.even) return false;
    if (job.kind == WatchJob::Kind::Lone) return true;
    return (job.even.empty() || PlainScanName(job.even)) && PlainScanName(job.output);
}

}  // namespace

std::string JournalPairLine(const WatchJob& job) {
    return Line({"pair", std::to_string(job.id), job.odd, job.even, job.output});
}

std::string JournalLoneLine(const WatchJob& job) {
    return Line({"lone", std::to_string(job.id), job.odd, job.reason});
}

std::string JournalMergedLine(int64_t id) { return Line({"merged", std::to_string(id)}); }

std::string JournalFailedLine(int64_t id, const std::string& reason) {
    return Line({"failed", std::to_string(id), reason});
}

std::string JournalMovingLine(const WatchJob& job) {
    std::string line = Line({"moving", std::to_string(job.id), job.folder});
    line.pop_back();
    for (const std::string& target : job.targets) line += "\t" + Escape(target);
    return line + "\n";
}

std::string JournalMovedLine(int64_t id) { return Line({"moved", std::to_string(id)}); }

std::vector<WatchJob> ReplayJournal(const std::string& content) {
    std::vector<WatchJob> jobs;
    std::map<int64_t, size_t> byId;
    size_t start = 0;
    while (start < content.size()) {
        const size_t end = content.find('\n', start);
        if (end == std::string::npos) break;  // cut short: its step never began
        const std::vector<std::string> f = Fields(content.substr(start, end - start));
        start = end + 1;
        if (f.size() < 2 || f[1].empty() || f[1].size() > 18 ||
            f[1].find_first_not_of("0123456789") != std::string::npos)
            continue;
        const int64_t id = ParseInt64(f[1], -1);
        if (id < 0) continue;
        const std::string& step = f[0];
        if (step == "pair" || step == "lone") {
            if (byId.count(id) != 0) continue;
            WatchJob job;
            job.id = id;
            if (step == "pair" && f.size() == 5) {
                job.odd = f[2];
                job.even = f[3];
                job.output = f[4];
            } else if (step == "lone" && f.size() == 4) {
                job.kind = WatchJob::Kind::Lone;
                job.odd = f[2];
                job.reason = f[3];
            } else {
                continue;
            }
            if (!PlainJob(job)) continue;
            byId[id] = jobs.size();
            jobs.push_back(std::move(job));
            continue;
        }
        const auto found = byId.find(id);
        if (found == byId.end()) continue;
        WatchJob& job = jobs[found->second];
        if (step == "merged") {
            job.merged = true;
        } else if (step == "failed" && f.size() == 3) {
            job.failed = true;
            job.reason = f[2];
        } else if (step == "moving" && f.size() == (job.even.empty() ? 4u : 5u) &&
                   (f[2] == "done" || f[2] == "failed" || f[2] == "unpaired") &&
                   std::all_of(f.begin() + 3, f.end(), PlainScanName)) {
            job.moving = true;
            job.folder = f[2];
            job.targets.assign(f.begin() + 3, f.end());
        } else if (step == "moved") {
            job.moved = true;
        }
    }
    return jobs;
}

}  // namespace verava
