/// @file
/// The result value of every library operation: a response code, the
/// qualified name of the operation that produced it and the source line of the
/// producing site. Hosts of the flat interface receive only the number, so the
/// numbers of ZEL_RESPONSE_CODE are fixed and never renumbered.
#ifndef ZEL_RESULTS_H
#define ZEL_RESULTS_H

/// @addtogroup foundation
/// @{

#include "foundation/zel_export.h"

// The one table of response codes: symbolic name, number, message. The
// messages are shown to users as they stand (no final full stops).
#include "foundation/zel_response_codes.h"

/// Response codes 0 to 43; 0 is success, every other value a failure. The
/// fixed underlying type lets any 32-bit number a host hands in be held (and
/// shown as "Unknown") without leaving the enumeration's range.
enum ZEL_RESPONSE_CODE : int {
/// One table entry as the code it becomes here.
#define ZEL_RESPONSE_CODE_ENUMERATOR(name, value, text) name = (value),
    ZEL_RESPONSE_CODE_TABLE(ZEL_RESPONSE_CODE_ENUMERATOR)
#undef ZEL_RESPONSE_CODE_ENUMERATOR
};

/// The outcome of one operation. A plain value: copying copies all three
/// fields, nothing is shared. A caller that drops one gets a warning (an
/// error under -Werror): check it, or cast it to void saying why.
class ZEL_API_NODISCARD ZelResults {
  public:
    /// Capacity of the method text, terminator included.
    static constexpr unsigned kMethodCapacity = 128;

    /// Code 0, empty method text, line 0.
    ZelResults();
    /// Copies the method text (cut to 127 characters); a null text leaves it
    /// empty.
    ZelResults(ZEL_RESPONSE_CODE code, const char* method, unsigned long line);

    /// The response code; ZEL_OK (0) is success.
    ZEL_RESPONSE_CODE getCode();
    /// The object's own text, valid while the object lives.
    char* getMethod();
    /// The source line of the site that produced the result; it tells apart the
    /// places where one operation can fail.
    unsigned long getLine();

    /// Replaces the code only.
    void setCode(ZEL_RESPONSE_CODE code);
    /// A null text changes nothing.
    void setMethod(const char* method);
    /// A null pointer changes nothing.
    void setLine(const unsigned long* line);
    /// Replaces all three fields only when all three pointers are non-null.
    void set(const ZEL_RESPONSE_CODE* code, const char* method, const unsigned long* line);

    /// The fixed message of a code; "Unknown" for a value outside 0 to 43.
    static char* showRespCode(ZEL_RESPONSE_CODE code);

    /// Const views for the library's own use (the getters above keep their
    /// historical non-const signatures).
    /// The response code, as getCode().
    ZEL_RESPONSE_CODE code() const { return code_; }
    /// True for ZEL_OK.
    bool ok() const { return code_ == ZEL_OK; }
    /// The method text, as getMethod().
    const char* method() const { return method_; }
    /// The source line, as getLine().
    unsigned long line() const { return line_; }

  private:
    ZEL_RESPONSE_CODE code_;
    char method_[kMethodCapacity];
    unsigned long line_;
};

/// @}

#endif  // ZEL_RESULTS_H
