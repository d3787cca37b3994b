#pragma once

#include "clock.h"
#include "clsorva.h"
#include "clsquorilex.h"
#include "linesettings.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

// Plays an instrument on the wire: the outputs of one of the emulated models, one after the
// other, with the pause each output takes at a given line speed.
class InstrumentPlayer {
public:
    enum class Model { Orva, Quorilex };

    struct Options {
        Model model = Model::Orva;
        QString device;
        int intervalMs = 250; // 0: as fast as the line speed carries the text
        qint64 count = 0;     // outputs to send; 0: without end
        LineSettings line;
        QString writeLog; // where each write is logged; empty: nowhere
        QString uartLink; // where a line made for the run is linked, in place of the device
    };

    // The options from the command line; an error text instead when they are not usable.
    static std::optional<Options> parse(const QStringList& arguments, QString& error);

    InstrumentPlayer(const Options& options, const Clock& clock);

    // The next output. ORVA lines carry a running index (0000, 0001, ...) so that a reader can
    // tell lost, doubled or reordered lines.
    QString nextOutput();
    // How long the output takes before the next one starts.
    std::chrono::microseconds pauseAfter(const QString& output) const;

private:
    Options m_options;
    clsOrva m_orva;
    clsQuorilex m_quorilex;
    qint64 m_sent = 0;
};
