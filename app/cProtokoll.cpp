// SPDX-License-Identifier: GPL-3.0-or-later
#include "cProtokoll.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

std::filesystem::path PathOf(const QString& Name) {
    return std::filesystem::path(QFile::encodeName(Name).toStdString());
}

} // namespace

TProtokoll::TProtokoll(QString FileName) : fileName_(std::move(FileName)) {}

TProtokoll::~TProtokoll() {
    WriteBuffer();
}

QString TProtokoll::TimeStamp() {
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale = QLocale::system();
    return locale.toString(now.date(), QLocale::ShortFormat) + u' ' +
           locale.toString(now.time(), QLocale::LongFormat) + QStringLiteral(": ");
}

bool TProtokoll::LogOut(const QString& Text) {
    return Add(QStringLiteral("OUT:  ") + TimeStamp() + Text);
}

bool TProtokoll::Add(const QString& Line) {
    std::lock_guard guard(lock_);
    if (DisableLog) return false;
    // One event, one line.
    QString line = Line;
    line.replace(u'\r', u' ');
    line.replace(u'\n', u' ');
    buffer_.push_back(line.toUtf8().toStdString());
    if (static_cast<long long>(buffer_.size()) <= Threshold) return true;
    Rotate();
    return WriteLocked();
}

bool TProtokoll::Flush() {
    return WriteBuffer();
}

bool TProtokoll::WriteBuffer() {
    std::lock_guard guard(lock_);
    return WriteLocked();
}

size_t TProtokoll::Buffered() const {
    std::lock_guard guard(lock_);
    return buffer_.size();
}

bool TProtokoll::WriteLocked() {
    if (buffer_.empty()) return true;
    std::string batch;
    for (const auto& line : buffer_) {
        batch += line;
        batch += '\n';
    }
    buffer_.clear();
    std::FILE* f = std::fopen(PathOf(fileName_).c_str(), "ab");
    if (!f) return false;
    const bool written = std::fwrite(batch.data(), 1, batch.size(), f) == batch.size();
    const bool flushed = std::fflush(f) == 0;
    const bool closed = std::fclose(f) == 0;
    return written && flushed && closed;
}

void TProtokoll::Rotate() {
    std::error_code ec;
    const auto path = PathOf(fileName_);
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size <= RotationSize) return;
    // A rename keeps the log whole: it either becomes the ".old" file or
    // stays where it is (a copy-then-delete could lose it).
    auto old = path;
    old += ".old";
    std::filesystem::rename(path, old, ec);
}
