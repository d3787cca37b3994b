#pragma once

#include <QByteArray>
#include <QString>

// A serial line as the receiving end has it, made on a pseudo-terminal pair for the program to
// read: the receiving kernel holds what arrived, up to 68 KB, until the program reads it, and
// loses what comes beyond, as a real UART does. Arrivals never wait for the reader. The line
// holds in itself what the pseudo-terminal, which holds less, cannot take; as the share of the
// pseudo-terminal varies with how it is written to, the line holds 68 KB give or take 4 KB.
class UartLine {
public:
    static constexpr qsizetype kKernelHolds = 68 * 1024;

    UartLine() = default;
    ~UartLine();
    UartLine(const UartLine&) = delete;
    UartLine& operator=(const UartLine&) = delete;

    // Makes the pair and links the program's end at link; false, with the reason in error, when
    // that failed.
    bool open(const QString& link, QString& error);
    // Bytes arriving at the receiving end; what finds no room is lost.
    void arrive(const QByteArray& bytes);
    // Hands on what the line holds, as far as the pseudo-terminal takes it.
    void push();
    // True when the program has read everything that arrived.
    bool drained();
    qint64 lost() const { return m_lost; }

private:
    int m_master = -1;
    // The program's end, kept open so that the line stays as the program opens and closes it.
    int m_slave = -1;
    qsizetype m_ptyHolds = 0; // what the pseudo-terminal takes before it refuses
    QByteArray m_held;
    qint64 m_lost = 0;
    QString m_link;
};
