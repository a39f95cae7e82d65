// ZelProgramming: state and progress of a module's programming engine.
#include "programming/zel_programming.h"

ZelProgramming::ZelProgramming(ZelComm* comm)
    : comm(comm), fileSize(0), bytesSent(0), state(PROGRAMMING_IDLE) {}

double ZelProgramming::getPercentComplete() {
    if (fileSize == 0) return 0.0;
    return static_cast<double>(bytesSent) / static_cast<double>(fileSize) * 100.0;
}

long ZelProgramming::getFileSize() { return fileSize < 0 ? 0 : fileSize; }

long ZelProgramming::getBytesSent() { return bytesSent < 0 ? 0 : bytesSent; }

PROGRAMMING_STATE_ENUMS ZelProgramming::getState() { return state; }

void ZelProgramming::setState(PROGRAMMING_STATE_ENUMS newState) { state = newState; }
