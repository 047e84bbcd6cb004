#ifndef CORE_SERIAL_H
#define CORE_SERIAL_H

#include "core_export.h"

#include <QtCore/QIODevice>
#include <QtCore/QStringList>

// A QIODevice on a serial port, read and written synchronously.
//
// Port names are device names without "/dev/" (ttyS0, ttyUSB0, ttyACM0), as
// EnumDevices() lists them; a name that begins with '/' is a path and is
// opened as it is. A port is opened exclusively: a second Serial, or another
// process that uses this class, cannot open it until it is closed.
//
// Reads and writes wait within the time-outs of setTimeouts(): a read returns
// when the requested count has arrived, when the gap after a received byte
// exceeds the read interval (0: no such limit), or when 1 ms per requested
// byte plus the read constant has passed, with what arrived so far (0 when
// nothing did); a write gives up after 1 ms per byte plus the write constant
// and returns how much was written. Until setTimeouts() is called all three
// values are 0. A failed system call, or a device that went away (a USB
// adapter unplugged), makes the call return -1 with errorString() set.
//
// Open the port with open() (ReadWrite | Unbuffered). Without Unbuffered,
// QIODevice reads in chunks of 16 KiB, and under "1 ms per requested byte"
// such a chunk waits up to 16 s for data that does not come. readAll() reads
// such chunks until one comes back short, so it too waits 1 ms per byte of
// each 16 KiB chunk: to take what has arrived, use read(bytesAvailable()).
class CORE_EXPORT Serial : public QIODevice
{
    Q_OBJECT
public:
    enum Parity : int {
        NoParity = 0,
        OddParity = 1,
        EvenParity = 2,
        MarkParity = 3,   // parity bit always 1
        SpaceParity = 4   // parity bit always 0
    };

    enum StopBits : int {
        OneStopBit = 0,
        OneAndHalfStopBits = 1,   // only with 5 data bits
        TwoStopBits = 2
    };

    explicit Serial(QObject *parent = nullptr);
    ~Serial() override;

    // The machine's serial ports (with a UART behind them), in a stable order.
    static QStringList EnumDevices();

    // Takes effect at the next open(); stored exactly as given.
    void setFileName(const QString &name);
    QString fileName() const;
    // The file descriptor as a pointer; all bits set when no port is open.
    void *handle() const;

    // Opens for reading and writing without QIODevice's buffer.
    bool open();
    bool open(OpenMode mode) override;
    void close() override;

    // Speed, 5 to 8 data bits, parity and stop bits, in raw binary mode without
    // flow control; the modem lines are left alone. False when the port is
    // closed, a value is not supported (a speed without a standard rate, one
    // and a half stop bits with more than 5 data bits) or the driver refuses.
    bool setSettings(int baudRate, int dataBits, Parity parity, StopBits stopBits);
    // The time-outs above, in milliseconds. False when no port is open.
    bool setTimeouts(int readInterval, int readTotalConstant, int writeTotalConstant);
    // Discards what the driver received and nobody has read yet.
    void clearInputBuffer();

    qint64 bytesAvailable() const override;
    bool isSequential() const override { return true; }
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

    // Sources and translations are UTF-8, so trUtf8 is tr.
    static QString trUtf8(const char *sourceText, const char *disambiguation = nullptr, int n = -1)
    {
        return tr(sourceText, disambiguation, n);
    }

private:
    // Sets the error and returns what was transferred, or -1 for nothing.
    qint64 fail(const QString &error, qint64 transferred);

    QString m_fileName;
    int m_fd = -1;
    int m_readInterval = 0;
    int m_readConstant = 0;
    int m_writeConstant = 0;

    Q_DISABLE_COPY_MOVE(Serial)
};

#endif // CORE_SERIAL_H
