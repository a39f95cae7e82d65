// The programming engine of one module: loads a bootloader or firmware image
// into the module over the module's own command exchange and records the
// progress and state a host can poll from another call. Every ZelModule owns
// one engine, bound to the module itself.
//
// This is the engine's state and progress record; the transfer itself comes
// with the image file reader.
#ifndef ZEL_ZEL_PROGRAMMING_H
#define ZEL_ZEL_PROGRAMMING_H

#include "foundation/zel_export.h"

class ZelComm;

enum PROGRAMMING_STATE_ENUMS : int {
    PROGRAMMING_IDLE = 0,       // constructed
    PROGRAMMING_PREPARING = 1,  // program has started
    PROGRAMMING_SENDING = 2,    // the data lines are being sent
    PROGRAMMING_FINISHING = 3,  // the transfer is being closed
    PROGRAMMING_COMPLETE = 4,   // the wait for the module's return has ended
    PROGRAMMING_FAILED = 5,     // program failed; also a module without an engine
};

class ZEL_API ZelProgramming {
public:
    // The engine talks to the module through comm, which must outlive it.
    explicit ZelProgramming(ZelComm* comm);
    ZelProgramming(const ZelProgramming&) = delete;
    ZelProgramming& operator=(const ZelProgramming&) = delete;

    // 0.0 while the file size is 0, else bytes sent / file size x 100.
    double getPercentComplete();
    // The field, or 0 while it is negative.
    long getFileSize();
    long getBytesSent();
    PROGRAMMING_STATE_ENUMS getState();
    void setState(PROGRAMMING_STATE_ENUMS state);

private:
    ZelComm* comm;
    long fileSize;
    long bytesSent;
    PROGRAMMING_STATE_ENUMS state;
};

#endif  // ZEL_ZEL_PROGRAMMING_H
