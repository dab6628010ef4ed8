// SPDX-License-Identifier: GPL-3.0-or-later
// The program log: lines are buffered and appended to the file in batches;
// a file grown past RotationSize is renamed to name + ".old" (replacing an
// older one) before the next batch, which then starts a new file. Nothing
// here raises or shows an error: a failed write only answers false.
#pragma once

#include <QString>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class TProtokoll {
public:
    explicit TProtokoll(QString FileName);
    // Writes what is still buffered.
    ~TProtokoll();
    TProtokoll(const TProtokoll&) = delete;
    TProtokoll& operator=(const TProtokoll&) = delete;

    // "OUT:  " + date and time + ": " + Text, through Add.
    bool LogOut(const QString& Text);
    // Buffers a line; past Threshold lines, rotates and writes the batch.
    // False while DisableLog is set, or when the batch could not be written.
    bool Add(const QString& Line);
    // Writes the buffer now.
    bool Flush();
    // Appends the buffer to the file and clears it, written or not.
    bool WriteBuffer();

    static QString TimeStamp();
    const QString& FileName() const { return fileName_; }
    size_t Buffered() const;

    bool DisableLog = false;
    int Threshold = 50;
    std::uintmax_t RotationSize = 2000000;

private:
    void Rotate();
    bool WriteLocked();

    mutable std::mutex lock_;
    std::vector<std::string> buffer_;
    QString fileName_;
};
