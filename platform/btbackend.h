#ifndef MALVORANT_BTBACKEND_H
#define MALVORANT_BTBACKEND_H

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

// A device seen by an inquiry.
struct BtInquiryDevice {
    QString name;
    quint64 address = 0; // 48-bit Bluetooth address, most significant byte first when written
};

// "00:80:2a:4b:58:01" <-> 0x00802A4B5801: exactly six groups of one or two
// hexadecimal digits make an address; written in lower case with two digits.
bool btParseAddress(const QString& text, quint64* address);
QString btAddressText(quint64 address);

// Asked by the back end when the stack wants the PIN of a device being
// paired; true with the PIN filled in answers the request.
using BtPinHandler = std::function<bool(quint64 address, QByteArray* pin)>;

// What the Bluetooth socket layer needs from the operating system: an
// adapter, a blocking inquiry, a PIN answer for one device, and a
// non-blocking stream socket to a device's serial-port channel. Error codes
// are errno values.
class CBtBackend
{
public:
    virtual ~CBtBackend();

    virtual QString backendName() const = 0;
    // Whether a local adapter is there; `why` says what is missing.
    virtual bool findAdapter(QString* why) = 0;
    // Runs an inquiry and blocks until it ends.
    virtual bool inquiry(std::vector<BtInquiryDevice>* found, QString* error) = 0;
    // Answers PIN requests of `address` through `handler` until unregistered.
    // A second registration replaces the first.
    virtual bool registerAuthentication(quint64 address, BtPinHandler handler, int* error) = 0;
    virtual bool unregisterAuthentication(int* error) = 0;
    // A non-blocking stream socket connecting to `channel` of the device. The
    // handle is returned even when the connect failed (the caller closes it);
    // -1 when no socket could be made. *error: 0 connected, EINPROGRESS under
    // way, anything else failed.
    virtual int openRfcomm(quint64 address, int channel, int* error) = 0;

    // Socket operations on a handle from openRfcomm, never blocking. The
    // defaults are the plain POSIX calls.
    virtual long receive(int handle, char* buffer, long size, int* error);
    virtual long send(int handle, const char* buffer, long length, int* error);
    virtual bool sendDisconnect(int handle, int* error);
    virtual bool shutdownBoth(int handle, int* error);
    virtual bool closeHandle(int handle, int* error);

    // Error classes the socket layer acts on.
    static bool isWouldBlock(int error);
    static bool isNotConnected(int error);
    static bool isInProgress(int error);
};

#endif
