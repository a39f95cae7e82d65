/// @file
/// The programming engine of one module: loads a bootloader or firmware image
/// from an image file into the module over the module's own command
/// exchange, and records the progress and state a host can poll from another
/// thread while program() runs. Every ZelModule owns one engine, bound to
/// the module itself.
///
/// An image file is text: per image a header block of seven key lines
/// ("ZEL_NAME: ", "ZEL_IMAGE_TYPE: ", "ZEL_MODULE_PRIORITY: ", "ZEL_VERSION: ",
/// "ZEL_DATE: ", "ZEL_FILE_SIZE_BYTES: ", "ZEL_CHECKSUM: "), a data section of
/// S-record lines between "ZEL_DATA_START: name" and "ZEL_DATA_END: name",
/// and at the end "ZEL_FINAL_CHECKSUM: " with the negated sum of every byte
/// before it (bytes as signed 8-bit values, lines with their LF). A
/// bootloader file holds "ZELbootloader.elf.S19"; a firmware file holds
/// "ZELfirmware.elf.S19" (priority class 1) and then "ZELfirmwareP2.elf.S19"
/// (class 2).
#ifndef ZEL_ZEL_PROGRAMMING_H
#define ZEL_ZEL_PROGRAMMING_H

/// @addtogroup programming
/// @{

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/zel_export.h"
#include "foundation/zel_results.h"

class ZelComm;
class ZelRequest;

/// The state of a programming engine, polled by hosts while program() runs.
enum PROGRAMMING_STATE_ENUMS : int {
    PROGRAMMING_IDLE = 0,       ///< constructed
    PROGRAMMING_PREPARING = 1,  ///< program has started
    PROGRAMMING_SENDING = 2,    ///< the data lines are being sent
    PROGRAMMING_FINISHING = 3,  ///< the transfer is being closed
    PROGRAMMING_COMPLETE = 4,   ///< the wait for the module's return has ended
    PROGRAMMING_FAILED = 5,     ///< program failed; also a module without an engine
};

/// The kind of image file a reading is for.
enum PROGRAMMING_TYPE : int {
    PROGRAMMING_BOOTLOADER = 0,  ///< a bootloader file (one header)
    PROGRAMMING_FIRMWARE = 1,    ///< a firmware file (two headers)
};

/// The position of a header in its file.
enum PROGRAMMING_PRIORITY_LEVEL : int {
    PRIORITY_LEVEL_1 = 0,  ///< the bootloader image, or the class 1 firmware
    PRIORITY_LEVEL_2 = 1,  ///< the class 2 firmware
};

/// First parameter of the program-init command (28).
enum PROGRAM_CHOICE : int {
    PROGRAM_CHOICE_BOOTLOADER = 1,      ///< bootloader, older variant
    PROGRAM_CHOICE_FIRMWARE = 2,        ///< firmware, older variant
    PROGRAM_CHOICE_BOOTLOADER_NEW = 3,  ///< bootloader, newer variant
    PROGRAM_CHOICE_FIRMWARE_NEW = 4,    ///< firmware, newer variant
};

/// Capacity of each header text (terminator included); longer values are
/// refused and the earlier value kept.
constexpr unsigned ZEL_HEADER_TEXT_CAPACITY = 64;

/// One header block of an image file.
struct ProgramFileHeader {
    char name[ZEL_HEADER_TEXT_CAPACITY];            ///< "ZEL_NAME: " value
    char imageType[ZEL_HEADER_TEXT_CAPACITY];       ///< "ZEL_IMAGE_TYPE: " value
    char modulePriority[ZEL_HEADER_TEXT_CAPACITY];  ///< "ZEL_MODULE_PRIORITY: " value
    char datVersion[ZEL_HEADER_TEXT_CAPACITY];      ///< "ZEL_DAT_VERSION: " value, if any
    char version[ZEL_HEADER_TEXT_CAPACITY];         ///< "ZEL_VERSION: " value, "major.minor.patch"
    char date[ZEL_HEADER_TEXT_CAPACITY];            ///< "ZEL_DATE: " value
    unsigned int fileSizeBytes;  ///< bytes of the image's data lines, LF included
    unsigned int checksum;       ///< passed to the module
};

/// One finding of ZelProgramming::checkProgramFile.
struct ProgramFileProblem {
    int line;          ///< the line it stands on, from 1; 0 for the file as a whole
    std::string text;  ///< what is wrong, as "S-record checksum is wrong"
};

/// Updates one module's bootloader or firmware from an image file; see the
/// file's description for the image format. program() blocks; the progress
/// getters may be called from another thread meanwhile.
class ZEL_API ZelProgramming {
  public:
    /// The engine talks to the module through comm, which must outlive it.
    explicit ZelProgramming(ZelComm* comm);
    ZelProgramming(const ZelProgramming&) = delete;
    ZelProgramming& operator=(const ZelProgramming&) = delete;

    /// Validates the file, reads the module's identity (FRAM field 2) and
    /// versions, chooses the programming variant the module understands,
    /// puts it into programming mode (resetting it and waiting for its
    /// reboot where needed), sends the data lines, closes the transfer, waits
    /// 8 s and then up to 60 s for the module to answer again, marks FRAM
    /// field 6 where the variant asks for it and reconnects. Blocks for at
    /// least 10 s. Codes beyond the exchanges': 3 (identity without a
    /// priority class), 4, 27/40/41 (file), 39 (image version refused), 42
    /// (bootloader update without firmware), 1 (the module did not return).
    ZelResults program(const char* file, bool isBootloader);

    /// 0.0 while the file size is 0, else bytes sent / file size x 100.
    double getPercentComplete();
    /// The field, or 0 while it is negative.
    long getFileSize();
    /// Bytes of data lines sent so far.
    long getBytesSent();
    /// The current state; safe to read from another thread.
    PROGRAMMING_STATE_ENUMS getState();
    /// Sets the state (the library marks PROGRAMMING_FAILED this way when a
    /// module cannot start an update).
    void setState(PROGRAMMING_STATE_ENUMS state);

    /// Fills up to maxHeaders records from the file's header blocks; false
    /// for a null pointer, a file that cannot be opened, or a block with a
    /// key line missing or out of order. type does not change the reading.
    static bool getProgramFileHeaders(const char* file, PROGRAMMING_TYPE type,
                                      ProgramFileHeader* headers, unsigned short maxHeaders);
    /// Validates the file for its type and copies the version text of header
    /// `level` (room for 64 bytes).
    ZelResults getProgramVersion(const char* file, PROGRAMMING_TYPE type, char* version,
                                 PROGRAMMING_PRIORITY_LEVEL level);

    /// The whole-file check to run before program(): beyond the validation
    /// program() runs (which it includes), it finds a file cut short, a data
    /// section without its markers or of another size than its header says,
    /// S-records with a wrong checksum, data lines too long to be sent, a
    /// missing final checksum, a version that is not three numbers, and a
    /// count of header blocks that does not fit the file's type. A file that
    /// passes can be programmed; one that fails would stop an update half
    /// way and leave the module running only its bootloader. Tells whether
    /// the file holds a bootloader image (by its first header) and lists
    /// every problem. Code 0 when there is none, 32 for a null pointer, the
    /// validation's code (27, 40, 41) when that fails, else 27.
    static ZelResults checkProgramFile(const char* file, bool* isBootloader,
                                       std::vector<ProgramFileProblem>* problems);

    /// The version rule of the procedure: class 2 firmware from 1.0.0 on,
    /// everything else from 1.0.3 on.
    static bool isNewVersion(int major, int minor, int patch, unsigned short priority);

  private:
    ZEL_INTERNAL ZelResults validateFile(const char* file, bool isBootloader);
    ZEL_INTERNAL ZelResults programInit(const PROGRAM_CHOICE& choice, unsigned short priority);
    ZEL_INTERNAL ZelResults verifyReboot();
    ZEL_INTERNAL ZelResults programBinary(const char* file, bool isBootloader,
                                          unsigned short priority);
    ZEL_INTERNAL ZelResults programFinished();
    ZEL_INTERNAL ZelResults getBlAndFwCompatibilityInModule(bool* bootloaderIsNew,
                                                            bool* firmwareIsNew,
                                                            bool* firmwarePresent,
                                                            unsigned short priority);
    /// Sends a request with its own time-out and retries; the answer must be
    /// of the request's command (code 4 otherwise).
    ZEL_INTERNAL ZelResults exchange(const ZelRequest& request, long timeoutMs, short retries,
                                     const char* method);
    /// Waits until the clock's whole seconds have advanced by `seconds`.
    ZEL_INTERNAL void waitSeconds(long long seconds);

    ZelComm* comm;
    std::atomic<int> state;
    std::atomic<std::int32_t> fileSize;
    std::atomic<std::int32_t> bytesSent;
    ProgramFileHeader headers[2];
};

/// @}

#endif  // ZEL_ZEL_PROGRAMMING_H
