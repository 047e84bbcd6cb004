#ifndef CORE_SERIAL_H
#define CORE_SERIAL_H

#include "core_export.h"

#include <QtCore/QIODevice>
#include <QtCore/QList>
#include <QtCore/QStringList>

class QSocketNotifier;

/// A QIODevice on a serial port, read and written synchronously.
///
/// Port names are device names without "/dev/" (ttyS0, ttyUSB0, ttyACM0), as
/// EnumDevices() lists them; a name that begins with '/' is a path and is
/// opened as it is. A port is opened exclusively: a second Serial, or another
/// process that uses this class, cannot open it until it is closed.
///
/// Reads and writes wait within the time-outs of setTimeouts(): a read returns
/// when the requested count has arrived, when the gap after a received byte
/// exceeds the read interval (0: no such limit), or when 1 ms per requested
/// byte plus the read constant has passed, with what arrived so far (0 when
/// nothing did); a write gives up after 1 ms per byte plus the write constant
/// and returns how much was written. Until setTimeouts() is called all three
/// values are 0. A failed system call, or a device that went away (a USB
/// adapter unplugged), makes the call return -1 with errorString() set.
///
/// open() puts the line into raw binary mode at once (no echo, no line
/// editing, no CR/LF translation, no flow control) and refuses a file that is
/// no terminal. close() puts back the line settings found at open() (as
/// QSerialPort does) and the port's exclusive mode as it was.
///
/// With an event loop running in the object's thread, readyRead() is emitted
/// when bytes arrive (a QSocketNotifier on the descriptor); every synchronous
/// call and time-out stays as described above.
///
/// Open the port with open() (ReadWrite | Unbuffered). Without Unbuffered,
/// QIODevice reads in chunks of 16 KiB, and under "1 ms per requested byte"
/// such a chunk waits up to 16 s for data that does not come. readAll() reads
/// such chunks until one comes back short, so it too waits 1 ms per byte of
/// each 16 KiB chunk: to take what has arrived, use read(bytesAvailable()).
class CORE_EXPORT Serial : public QIODevice
{
    Q_OBJECT
public:
    /// The parity bit of each character.
    enum Parity : int {
        NoParity = 0,     ///< no parity bit
        OddParity = 1,    ///< odd parity
        EvenParity = 2,   ///< even parity
        MarkParity = 3,   ///< parity bit always 1
        SpaceParity = 4   ///< parity bit always 0
    };

    /// The stop bits of each character.
    enum StopBits : int {
        OneStopBit = 0,           ///< one stop bit
        OneAndHalfStopBits = 1,   ///< only with 5 data bits
        TwoStopBits = 2           ///< two stop bits
    };

    /// Flow control of the line (setFlowControl()).
    enum FlowControl : int {
        NoFlowControl = 0,         ///< none
        HardwareFlowControl = 1,   ///< RTS/CTS
        SoftwareFlowControl = 2    ///< XON/XOFF
    };

    /// Modem-control lines: DTR and RTS are set by this side, CTS, DSR, DCD
    /// and RI read from the other.
    enum PinoutSignal : int {
        NoSignal = 0x00,                  ///< no line
        DataTerminalReadySignal = 0x01,   ///< DTR (set by this side)
        RequestToSendSignal = 0x02,       ///< RTS (set by this side)
        ClearToSendSignal = 0x04,         ///< CTS (from the other side)
        DataSetReadySignal = 0x08,        ///< DSR (from the other side)
        DataCarrierDetectSignal = 0x10,   ///< DCD (from the other side)
        RingIndicatorSignal = 0x20        ///< RI (from the other side)
    };
    /// A set of modem-control lines.
    Q_DECLARE_FLAGS(PinoutSignals, PinoutSignal)

    /// Which queue clear() discards.
    enum Direction : int {
        Input = 0x1,                     ///< what was received and not read
        Output = 0x2,                    ///< what was written and not sent
        AllDirections = Input | Output   ///< both
    };
    /// A set of queues.
    Q_DECLARE_FLAGS(Directions, Direction)

    /// The kind of the last failure, beside errorString(); kept until
    /// clearError() or the next open().
    enum SerialError : int {
        NoError = 0,                     ///< no failure
        DeviceNotFoundError = 1,         ///< no such port, or not a serial port
        PermissionError = 2,             ///< this user may not open it
        InUseError = 3,                  ///< another program has it open
        DeviceRemovedError = 4,          ///< unplugged or gone while open
        TimeoutError = 5,                ///< a read or write ran out of time
        UnsupportedOperationError = 6,   ///< a setting or line the port does not have
        UnknownError = 7                 ///< any other failure
    };

    /// One serial port with what the system tells about it. USB adapters and
    /// USB instruments have a vendor and product id, usually a manufacturer,
    /// description and serial number, and a stable path under
    /// /dev/serial/by-id that survives a replug renumbering the ports; a
    /// built-in port has its name only.
    struct PortInfo
    {
        QString portName;         ///< ttyUSB0: what setFileName() takes
        QString systemLocation;   ///< /dev/ttyUSB0
        QString description;      ///< the USB product text
        QString manufacturer;     ///< the USB manufacturer text
        QString serialNumber;     ///< the USB serial number
        quint16 vendorId = 0;     ///< the USB vendor id
        quint16 productId = 0;    ///< the USB product id
        bool hasVendorId = false;    ///< whether vendorId was read
        bool hasProductId = false;   ///< whether productId was read
        QString stablePath;       ///< /dev/serial/by-id/..., when there is one
    };

    /// A closed port without a name.
    explicit Serial(QObject *parent = nullptr);
    /// Closes the port.
    ~Serial() override;

    /// The machine's serial ports (with a UART behind them), in a stable order.
    static QStringList EnumDevices();
    /// The same ports, in the same order, with their details.
    static QList<PortInfo> availablePorts();

    /// Takes effect at the next open(); stored exactly as given.
    void setFileName(const QString &name);
    /// The name as given to setFileName().
    QString fileName() const;
    /// The file descriptor as a pointer; all bits set when no port is open.
    void *handle() const;

    /// Opens for reading and writing without QIODevice's buffer.
    bool open();
    /// Opens the port of fileName() exclusively with the given mode; false
    /// with errorString() and error() set when that fails.
    bool open(OpenMode mode) override;
    /// Puts back the line settings found at open() and closes the port.
    void close() override;

    /// Speed, 5 to 8 data bits, parity and stop bits, in raw binary mode with
    /// the flow control of setFlowControl() (none unless set); the modem lines
    /// are left alone. Any baud rate the driver accepts: standard rates through
    /// their Bxxx code, others through the kernel's termios2 (BOTHER), read back
    /// to confirm; the input speed always equals the output speed. False, with
    /// errorString() and error() set, when the port is closed, a value is not
    /// supported (one and a half stop bits with more than 5 data bits, a rate
    /// the driver refuses) or the driver refuses the settings.
    bool setSettings(int baudRate, int dataBits, Parity parity, StopBits stopBits);
    /// The time-outs above, in milliseconds. False when no port is open.
    bool setTimeouts(int readInterval, int readTotalConstant, int writeTotalConstant);
    /// Discards what the driver received and nobody has read yet.
    void clearInputBuffer();
    /// Discards the input queue, the output queue not sent yet, or both.
    bool clear(Directions directions = AllDirections);

    /// Sets the flow control now (when open) and for every later setSettings().
    bool setFlowControl(FlowControl flow);
    /// The flow control set with setFlowControl().
    FlowControl flowControl() const;

    /// The modem-control lines. False (UnsupportedOperationError) on a port
    /// without them, such as a pseudo-terminal.
    bool setDataTerminalReady(bool on);
    /// Sets or clears RTS (see setDataTerminalReady()).
    bool setRequestToSend(bool on);
    /// The lines' state; NoSignal with error() set when it cannot be read.
    PinoutSignals pinoutSignals();
    /// Holds the line in the break state for the given time (blocking).
    bool sendBreak(int milliseconds = 250);

    /// The kind of the last failure.
    SerialError error() const;
    /// Sets error() back to NoError.
    void clearError();

    /// Bytes received and not read yet (the driver's and QIODevice's).
    qint64 bytesAvailable() const override;
    /// A serial port is a stream.
    bool isSequential() const override { return true; }
    /// Reads within the time-outs (see the class description).
    qint64 readData(char *data, qint64 maxSize) override;
    /// Writes within the time-outs (see the class description).
    qint64 writeData(const char *data, qint64 maxSize) override;

    /// Sources and translations are UTF-8, so trUtf8 is tr.
    static QString trUtf8(const char *sourceText, const char *disambiguation = nullptr, int n = -1)
    {
        return tr(sourceText, disambiguation, n);
    }

private:
    /// Sets the error and returns what was transferred, or -1 for nothing.
    qint64 fail(SerialError kind, const QString &error, qint64 transferred);
    bool failSetting(SerialError kind, const QString &error);
    bool setModemLine(int bit, bool on);
    void notifierActivated();

    QString m_fileName;
    int m_fd = -1;
    int m_readInterval = 0;
    int m_readConstant = 0;
    int m_writeConstant = 0;
    SerialError m_error = NoError;
    FlowControl m_flow = NoFlowControl;
    QByteArray m_savedLine;            ///< the line settings found at open()
    bool m_clearExclusive = false;     ///< exclusive mode was set by open()
    QSocketNotifier *m_notifier = nullptr;   ///< a child of this object

    Q_DISABLE_COPY_MOVE(Serial)
};

Q_DECLARE_OPERATORS_FOR_FLAGS(Serial::PinoutSignals)
Q_DECLARE_OPERATORS_FOR_FLAGS(Serial::Directions)

#endif // CORE_SERIAL_H
