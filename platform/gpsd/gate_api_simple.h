// The client library of the machine's GPS service (gpsd): one object feeds one named input of
// the service. Every call returns at once or within a bounded time; none of them shows a message,
// GetLastError() says in plain English what the last failure was.
#pragma once

namespace GateApi {

// The size of the buffer that GetLastError() fills: up to 63 characters and the 0 byte.
inline constexpr int kGateErrorTextSize = 64;

class Simple {
public:
    Simple();
    ~Simple();  // releases everything, also without Close()
    Simple(const Simple&) = delete;
    Simple& operator=(const Simple&) = delete;

    // True when the GPS service answers.
    bool StartGpsGate();
    // Sets up the named input; true once the service takes data from it.
    bool Open(const char* inputName);
    // Both give up waiting for the service's answer once the program is asked to end: then
    // false with errno ECANCELED, and nothing to tell the user.
    // Sends the bytes whole within a bounded time; false when they could not all go, and the
    // input is then withdrawn (see Withdraw). While the service reads nothing (nobody uses the
    // data), they are dropped, as the service drops a receiver's data then; right after Open,
    // for a few seconds, they are kept for it instead. A wait for the service to take them also
    // ends once `stopFd` (if not -1) is readable: then false with errno ECANCELED, and nothing
    // to tell the user.
    bool Write(const void* bytes, int count, int stopFd = -1);
    // Readable while connections wait to be served on the open input (-1 without one). The
    // service connects to us whenever it likes, and strangers may connect too: whoever writes
    // also watches this while nothing is to be written, and then calls ServeConnections(),
    // which takes the service's connection and closes any other, a few at a time.
    int ListenerDescriptor() const;
    void ServeConnections();
    // Gives the input up at once, for a run that has ended by a failure: the service drops it
    // in the background, and every later Write fails. Close() still follows.
    void Withdraw();
    // Fills `buffer` (`size` characters) with a 0-terminated text naming the last failure.
    int GetLastError(char* buffer, int size);
    // Removes the input from the service; safe after a failed Open() and when called twice.
    void Close();

private:
    struct Connection;
    Connection* connection_;
};

}  // namespace GateApi
