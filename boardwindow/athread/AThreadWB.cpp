// SPDX-License-Identifier: GPL-3.0-or-later
#include "AThreadWB.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace kb {

// ---------------------------------------------------------------------------
// Command sets

void SetGeneralEngineCommands(TWBInfo& Info) {
    // "hash=1000000" belongs to CRAFTY's command line; other engines refuse
    // it or take it for a file name, so they get no words unless the
    // settings give some.
    Info.Parameter.clear();
    Info.Init = "xboard\r\nforce\r\n";
    Info.SetPosition = "edit";
    // Analysis, not "go": with "go" an engine plays a move for the side to
    // move and stops, and some read no input until then, so "?" and every
    // later position would wait unread.
    Info.StartAnalyze = "post\r\nanalyze\r\n";
    Info.StopAnalyze = "exit\r\n";
    Info.Quit = "quit\r\n";
    Info.GetState = ".\r\n";
    Info.NoParseOutput = false;
    Info.GameFile.clear();
}

void SetCraftyEngineCommands(TWBInfo& Info) {
    SetEngineDefaults(Info);
}

namespace {

std::string Upper(std::string S) {
    for (char& c : S)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return S;
}

std::string FileNameOf(const std::string& Path) {
    const size_t slash = Path.find_last_of('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string Trim(const std::string& S) {
    size_t b = 0, e = S.size();
    while (b < e && static_cast<unsigned char>(S[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(S[e - 1]) <= ' ')
        --e;
    return S.substr(b, e - b);
}

// A whole token as a number; out-of-range values are clamped.
bool ToNumber(const std::string& T, long long& Value) {
    const char* b = T.data();
    const char* e = b + T.size();
    if (b != e && *b == '+') ++b;
    if (b == e) return false;
    const auto [end, ec] = std::from_chars(b, e, Value);
    if (end != e) return false;
    if (ec == std::errc::result_out_of_range) {
        Value = *b == '-' ? -static_cast<long long>(INT_MAX) : INT_MAX;
        return true;
    }
    if (ec != std::errc()) return false;
    Value = std::clamp<long long>(Value, -static_cast<long long>(INT_MAX), INT_MAX);
    return true;
}

std::string Centipawns(long long V) {
    const long long a = V < 0 ? -V : V;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%lld.%02lld", V < 0 ? "-" : "", a / 100, a % 100);
    std::string s = buf;
    if (s.size() < 3) s.insert(0, 3 - s.size(), ' ');
    return s;
}

} // namespace

bool IsCraftyEngine(const std::string& Path) {
    return Upper(FileNameOf(Path)).find("CRAFTY") != std::string::npos;
}

TWBInfo EngineCommandsFor(const std::string& Path, const TWBInfo& Template, bool FromIni,
                          const std::string& DefaultParameter) {
    TWBInfo r = Template; // each run its own copy: the template stays as read
    r.hProcess = r.dwProcessId = 0;
    r.hRead = r.hWrite = -1;
    r.GameFile.clear();
    if (IsCraftyEngine(Path)) {
        SetCraftyEngineCommands(r);
    } else if (!FromIni) {
        SetGeneralEngineCommands(r);
    } else if (r.Parameter == DefaultParameter) {
        r.Parameter.clear(); // the default words are CRAFTY's
    }
    return r;
}

std::string CraftyGameFile(const std::string& Folder) {
    std::string dir = Folder;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    for (int n = 1; n <= 9999; ++n) {
        char num[16];
        std::snprintf(num, sizeof num, "%03d", n);
        const std::string name = dir + "game." + num;
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            return name;
        }
        if (errno != EEXIST) return {};
    }
    return {};
}

// ---------------------------------------------------------------------------
// Position commands

bool IsFenMode(const TWBInfo& Info) {
    return Upper(Info.SetPosition) == "SETBOARD";
}

std::string ToLf(const std::string& Text) {
    std::string out;
    out.reserve(Text.size());
    for (size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') continue;
        out += Text[i];
    }
    return out;
}

std::vector<std::string> PositionCommands(const TWBInfo& Info, const TEnginePosition& Pos) {
    if (IsFenMode(Info)) {
        // The engine gets plain FEN: no Chess960 marker, it would not know it.
        const std::string fen = StellungToFEN(Pos.Brett, Pos.Zug, std::max(1, Pos.MoveNo), false);
        return {Info.SetPosition + " " + fen + "\r\n" + Info.StartAnalyze};
    }
    std::vector<std::string> w;
    w.push_back("new\r\nforce\r\n");
    if (Pos.Zug.Side < 0) w.push_back("a2a3\r\n");
    w.push_back(Info.SetPosition + "\r\n#\r\n");
    static const char Letters[] = "PRBNQK";
    auto pieces = [&](int Colour) {
        std::string s;
        for (int sq = 0; sq < 64; ++sq) {
            const int32_t p = Pos.Brett[Index64To120(static_cast<uint8_t>(sq))] * Colour;
            if (p >= 1 && p <= 6) {
                s += Letters[p - 1];
                s += FeldNamen[static_cast<size_t>(sq)];
                s += "\r\n";
            }
        }
        return s;
    };
    w.push_back(pieces(1));
    w.push_back("c\r\n");
    w.push_back(pieces(-1));
    w.push_back(".\r\n" + Info.StartAnalyze);
    return w;
}

// ---------------------------------------------------------------------------
// Output parsing

std::string ParseOutput(const std::string& Line, int MoveNo, bool NoParseOutput) {
    std::string s =
        Line.size() > TAnalyseThreadWB::MaxLine ? Line.substr(0, TAnalyseThreadWB::MaxLine) : Line;
    if (NoParseOutput) return s;
    const size_t tab = s.find('\t');
    if (tab != std::string::npos) s.erase(0, tab + 1);
    s = Trim(s);
    const size_t cr = s.find('\r');
    if (cr != std::string::npos) s.erase(cr);

    // End of the head: before the first move number, else before the first
    // move (a letter that is not the last character).
    size_t p = 0; // a length, like the positions counted from 1
    const size_t dot = s.find('.');
    if (dot != std::string::npos) {
        p = dot + 1;
    } else {
        for (size_t i = 0; i + 1 < s.size(); ++i)
            if (IsLetter(s[i])) {
                p = i;
                break;
            }
    }
    if (p == 0) return s;
    while (p > 0 && s[p - 1] != ' ')
        --p;
    const std::string head = s.substr(0, p);
    std::string pv = s.substr(p);

    size_t i = 0;
    while (i < head.size() && !IsDigit(head[i]))
        ++i;
    size_t j = head.find(' ', i);
    if (j == std::string::npos) j = head.size();
    const std::string depth = head.substr(std::min(i, head.size()), j - std::min(i, head.size()));
    while (j < head.size() && head[j] == ' ')
        ++j;
    size_t k = head.find(' ', j);
    if (k == std::string::npos) k = head.size();
    const std::string scoreText =
        head.substr(std::min(j, head.size()), k - std::min(j, head.size()));
    long long score = 0;
    const std::string value = ToNumber(scoreText, score) ? Centipawns(score) : std::string();

    // Move numbers of a line counted from 1 are shifted to the game's move;
    // a line that already counts from the position's move stays as it is.
    struct TRun {
        size_t Pos, Len;
        long long N;
    };
    std::vector<TRun> runs;
    for (size_t a = 0; a < pv.size();) {
        if (!IsDigit(pv[a])) {
            ++a;
            continue;
        }
        size_t b = a;
        while (b < pv.size() && IsDigit(pv[b]))
            ++b;
        if (b < pv.size() && pv[b] == '.') {
            long long n = 0;
            const auto [end, ec] = std::from_chars(pv.data() + a, pv.data() + b, n);
            runs.push_back({a, b - a, ec == std::errc() && end == pv.data() + b ? n : -1});
        }
        a = b;
    }
    if (!runs.empty() && runs.front().N == 1 && MoveNo > 1) {
        for (auto r = runs.rbegin(); r != runs.rend(); ++r)
            if (r->N >= 0 && r->N <= INT_MAX)
                pv.replace(r->Pos, r->Len, std::to_string(r->N + MoveNo - 1));
    }
    return "Depth: " + depth + "  Value: " + value + "\r\n" + pv;
}

// ---------------------------------------------------------------------------
// The worker

TAnalyseThreadWB::TAnalyseThreadWB(std::unique_ptr<TEngineProcess> Process, const TWBInfo& Info,
                                   TStatusEvent OnStatus)
    : process_(std::move(Process)), info_(Info), onStatus_(std::move(OnStatus)) {
    info_.hProcess = info_.dwProcessId = process_->Pid();
    info_.hRead = process_->ReadFd();
    info_.hWrite = process_->WriteFd();
    if (::pipe2(wake_, O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
    ShowStatus("Starting ...");
}

TAnalyseThreadWB::~TAnalyseThreadWB() {
    Finish();
    for (int& fd : wake_)
        if (fd >= 0) ::close(fd);
}

void TAnalyseThreadWB::Start(const TEnginePosition& Pos) {
    if (writer_.joinable()) return;
    std::vector<std::string> w{info_.Init, "level 10 10000 0\r\n"};
    Enqueue(std::move(w), false);
    std::vector<std::string> pos = PositionCommands(info_, Pos);
    {
        std::lock_guard lk(m_);
        for (size_t i = 0; i < pos.size(); ++i)
            queue_.push_back({ToLf(pos[i]), i + 1 == pos.size(), Pos.MoveNo});
    }
    writer_ = std::thread([this] { WriterLoop(); });
    reader_ = std::thread([this] { ReaderLoop(); });
}

void TAnalyseThreadWB::Enqueue(std::vector<std::string> Writes, bool Position) {
    {
        std::lock_guard lk(m_);
        if (finishing_) return;
        for (size_t i = 0; i < Writes.size(); ++i)
            queue_.push_back({ToLf(Writes[i]), Position && i + 1 == Writes.size(), moveNo_});
    }
    cv_.notify_all();
}

void TAnalyseThreadWB::StopEngine() {
    Enqueue({info_.GetState, info_.StopAnalyze}, false);
}

void TAnalyseThreadWB::Restart(const TEnginePosition& Pos) {
    ShowStatus("- Initialize ...");
    std::vector<std::string> w{info_.GetState, info_.StopAnalyze};
    std::vector<std::string> pos = PositionCommands(info_, Pos);
    {
        std::lock_guard lk(m_);
        if (finishing_) return;
        for (const std::string& s : w)
            queue_.push_back({ToLf(s), false, 0});
        for (size_t i = 0; i < pos.size(); ++i)
            queue_.push_back({ToLf(pos[i]), i + 1 == pos.size(), Pos.MoveNo});
    }
    cv_.notify_all();
}

void TAnalyseThreadWB::WriterLoop() {
    std::unique_lock lk(m_);
    for (;;) {
        // Paused engines get nothing until they run again (or are ended).
        cv_.wait(lk, [this] {
            return (!queue_.empty() && (paused_ == 0 || finishing_)) ||
                   (stopWriter_ && queue_.empty());
        });
        if (queue_.empty()) return;
        TWrite w = std::move(queue_.front());
        queue_.pop_front();
        // The new position counts from before its last command is written:
        // the engine can answer, and the reader read that answer, before
        // this thread runs again after the write.
        if (w.Position) {
            moveNo_ = w.MoveNo;
            ++positionGen_;
        }
        lk.unlock();
        const bool ok = process_->Write(w.Text);
        lk.lock();
        if (!ok) {
            // The engine's input is gone: nothing more can reach it.
            writeFailed_ = true;
            queue_.clear();
            return;
        }
    }
}

void TAnalyseThreadWB::ReaderLoop() {
    char buf[4096];
    std::string line;
    bool dead = false;
    const int fd = process_->ReadFd();
    for (;;) {
        pollfd p[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int r = ::poll(p, wake_[0] >= 0 ? 2 : 1, -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            dead = true;
            break;
        }
        if (wake_[0] >= 0 && p[1].revents) break;
        if (p[0].revents == 0) continue;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) {
            dead = true;
            break;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] == '\n') {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                Line(line);
                line.clear();
            } else if (line.size() < MaxLine) {
                line += buf[i];
            }
        }
    }
    if (dead) {
        if (!line.empty()) Line(line);
        {
            std::lock_guard lk(m_);
            dead_ = true;
        }
        ShowStatus("engine terminated");
    }
}

void TAnalyseThreadWB::Line(const std::string& L) {
    int moveNo;
    {
        std::lock_guard lk(m_);
        answeredGen_ = positionGen_;
        moveNo = moveNo_;
    }
    if (Trim(L).empty()) return;
    ShowStatus(ParseOutput(L, moveNo, info_.NoParseOutput));
}

void TAnalyseThreadWB::ShowStatus(const std::string& Text) {
    {
        std::lock_guard lk(m_);
        if (finishing_) return;
    }
    if (onStatus_) onStatus_(Text);
}

void TAnalyseThreadWB::BeginFinish() {
    {
        std::lock_guard lk(m_);
        if (finishing_) return;
        finishing_ = true; // from now on no text reaches the window
        paused_ = 0;
        if (writer_.joinable())
            for (const std::string* s : {&info_.GetState, &info_.StopAnalyze, &info_.Quit})
                queue_.push_back({ToLf(*s), false, 0});
        stopWriter_ = true;
    }
    cv_.notify_all();
    // A paused engine could not read its quit.
    process_->Continue();
}

TEngineProcess::TEnd TAnalyseThreadWB::Finish(std::chrono::milliseconds Grace) {
    BeginFinish();
    {
        std::lock_guard lk(m_);
        if (ending_) return end_;
        ending_ = true;
    }
    if (!writer_.joinable()) process_->CloseInput(); // never started: end of input is our quit
    const TEngineProcess::TEnd end = process_->Finish(Grace);
    // The engine is gone: a write blocked on a full pipe has failed by now.
    if (writer_.joinable()) writer_.join();
    process_->CloseInput();
    if (wake_[1] >= 0) {
        const char c = 'q';
        while (::write(wake_[1], &c, 1) < 0 && errno == EINTR) {
        }
    }
    if (reader_.joinable()) reader_.join();
    process_->CloseOutput();
    if (!info_.GameFile.empty()) ::unlink(info_.GameFile.c_str());
    std::lock_guard lk(m_);
    end_ = end;
    finished_ = true;
    return end;
}

int TAnalyseThreadWB::ExitStatus() const {
    return process_->WaitStatus();
}

void TAnalyseThreadWB::SetPaused(unsigned Reason, bool On) {
    std::lock_guard lk(m_);
    if (finishing_) return;
    const unsigned old = paused_;
    paused_ = On ? (paused_ | Reason) : (paused_ & ~Reason);
    if (old == 0 && paused_ != 0) process_->Pause();
    if (old != 0 && paused_ == 0) {
        process_->Continue();
        cv_.notify_all();
    }
}

bool TAnalyseThreadWB::Paused() const {
    std::lock_guard lk(m_);
    return paused_ != 0;
}

bool TAnalyseThreadWB::Dead() const {
    std::lock_guard lk(m_);
    return dead_ || writeFailed_;
}

bool TAnalyseThreadWB::Answered() const {
    std::lock_guard lk(m_);
    return positionGen_ > 0 && answeredGen_ == positionGen_;
}

// ---------------------------------------------------------------------------
// Reaper

TEngineReaper& TEngineReaper::Instance() {
    static TEngineReaper reaper;
    return reaper;
}

TEngineReaper::~TEngineReaper() {
    WaitIdle();
}

void TEngineReaper::Adopt(std::unique_ptr<TAnalyseThreadWB> Run) {
    if (!Run) return;
    Run->BeginFinish();
    std::unique_lock lk(m_);
    JoinDone(lk);
    auto entry = std::make_unique<TEntry>();
    TEntry* e = entry.get();
    runs_.push_back(std::move(entry));
    std::shared_ptr<TAnalyseThreadWB> run(std::move(Run));
    e->Thread = std::thread([this, e, run] {
        run->Finish();
        std::lock_guard lk(m_);
        e->Done = true;
        cv_.notify_all();
    });
}

void TEngineReaper::JoinDone(std::unique_lock<std::mutex>& Lock) {
    (void)Lock;
    for (auto it = runs_.begin(); it != runs_.end();) {
        if ((*it)->Done) {
            (*it)->Thread.join();
            it = runs_.erase(it);
        } else {
            ++it;
        }
    }
}

void TEngineReaper::WaitIdle() {
    std::unique_lock lk(m_);
    cv_.wait(lk, [this] {
        for (const auto& r : runs_)
            if (!r->Done) return false;
        return true;
    });
    JoinDone(lk);
}

} // namespace kb
