// Internal pieces of the image file shared by the header reader, the
// validation and the transfer: the key texts and a text-mode line reader.
#ifndef ZEL_PROGRAM_FILE_H
#define ZEL_PROGRAM_FILE_H

#include <QByteArray>
#include <QFile>

namespace zel::image {

constexpr char kDatVersion[] = "ZEL_DAT_VERSION: ";
constexpr char kName[] = "ZEL_NAME: ";
constexpr char kImageType[] = "ZEL_IMAGE_TYPE: ";
constexpr char kPriority[] = "ZEL_MODULE_PRIORITY: ";
constexpr char kVersion[] = "ZEL_VERSION: ";
constexpr char kDate[] = "ZEL_DATE: ";
constexpr char kFileSize[] = "ZEL_FILE_SIZE_BYTES: ";
constexpr char kChecksum[] = "ZEL_CHECKSUM: ";
constexpr char kFinalChecksum[] = "ZEL_FINAL_CHECKSUM: ";

// Reads a file line by line in text mode; every line keeps its LF.
class LineReader {
  public:
    bool open(const char* file);
    bool next(QByteArray& line);

  private:
    QFile handle;
};

bool contains(const QByteArray& line, const char* key);

}  // namespace zel::image

#endif  // ZEL_PROGRAM_FILE_H
