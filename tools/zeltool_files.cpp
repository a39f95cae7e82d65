// zeltool: the subcommands on files: firmware images and configuration files.
#include <QFile>
#include <QXmlStreamReader>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "image_builder.h"
#include "zeltool.h"

namespace zeltool {

namespace {

constexpr unsigned short kMaxHeaders = 4;

// The header blocks of an image file; 0 when they cannot be read.
unsigned short readHeaders(const std::string& file, ProgramFileHeader* headers) {
    std::memset(headers, 0, sizeof(ProgramFileHeader) * kMaxHeaders);
    if (!ZelProgramming::getProgramFileHeaders(file.c_str(), PROGRAMMING_FIRMWARE, headers,
                                               kMaxHeaders))
        return 0;
    unsigned short n = 0;
    while (n < kMaxHeaders && headers[n].name[0] != '\0') ++n;
    return n;
}

bool readable(const std::string& file) {
    if (FILE* f = std::fopen(file.c_str(), "rb")) {
        std::fclose(f);
        return true;
    }
    return false;
}

int imageInfo(const Options& options, const std::string& file) {
    if (!readable(file)) return fail(options, kFileInvalid, "cannot be opened", file);
    ProgramFileHeader headers[kMaxHeaders];
    const unsigned short n = readHeaders(file, headers);
    if (n == 0) return fail(options, kFileInvalid, "no readable header blocks", file);
    for (unsigned short i = 0; i < n; ++i) {
        const ProgramFileHeader& h = headers[i];
        std::printf(
            "image %u: %s\n  type %s, priority %s, version %s, date %s, dat %s\n"
            "  %u bytes of data lines, checksum %u\n",
            i + 1, h.name, h.imageType, h.modulePriority, h.version, h.date, h.datVersion,
            h.fileSizeBytes, h.checksum);
    }
    // Headers alone do not make an image: a cut or damaged file fails.
    bool bootloader = false;
    const std::vector<ImageProblem> problems = checkImageFile(file, &bootloader);
    for (const ImageProblem& p : problems) {
        std::fprintf(stderr, "zeltool: %s%s%s: %s\n", file.c_str(), p.line ? ":" : "",
                     p.line ? std::to_string(p.line).c_str() : "", p.text.c_str());
    }
    if (!problems.empty())
        return fail(options, kFileInvalid, "the image fails the check (see above)", file);
    return kOk;
}

int imageCheck(const Options& options, const std::string& file) {
    if (!readable(file)) return fail(options, kFileInvalid, "cannot be opened", file);
    bool bootloader = false;
    const std::vector<ImageProblem> problems = checkImageFile(file, &bootloader);
    for (const ImageProblem& p : problems) {
        if (p.line > 0)
            std::printf("%s:%d: %s\n", file.c_str(), p.line, p.text.c_str());
        else
            std::printf("%s: %s\n", file.c_str(), p.text.c_str());
    }
    if (!problems.empty()) return kFileInvalid;
    // The version of each image, as the update reads it.
    ZelModule module;  // the engine reads files without talking to a module
    for (unsigned short level = 0; level < (bootloader ? 1 : 2); ++level) {
        char version[ZEL_HEADER_TEXT_CAPACITY] = {};
        const char* what =
            bootloader ? "bootloader" : (level == 0 ? "firmware, class 1" : "firmware, class 2");
        ZelResults r = module.getProgramming()->getProgramVersion(
            file.c_str(), bootloader ? PROGRAMMING_BOOTLOADER : PROGRAMMING_FIRMWARE, version,
            static_cast<PROGRAMMING_PRIORITY_LEVEL>(level));
        if (!r.ok()) {
            std::fprintf(stderr, "%s: %s image: no version (%s)\n", file.c_str(), what,
                         ZelResults::showRespCode(r.code()));
            return kFileInvalid;
        }
        std::printf("%s: %s image %s: valid\n", file.c_str(), what, version);
    }
    return kOk;
}

// image build OUT VERSION [--bootloader]: a synthetic image file for trying
// the update against the simulator (class 1 and class 2 firmware, or a
// bootloader).
int imageBuild(const Options& options) {
    if (options.args.size() != 4) return usage(options, "image build takes FILE VERSION");
    const std::string& file = options.args[2];
    const std::string& version = options.args[3];
    if (const std::string p = versionProblem(version); !p.empty()) return usage(options, p);
    const std::string text = options.bootloader
                                 ? zelimage::buildFile({zelimage::bootloaderImage(version, 4096)})
                                 : zelimage::buildFile({zelimage::firmwareImage(version, 1, 4096),
                                                        zelimage::firmwareImage(version, 2, 4096)});
    if (std::FILE* existing = std::fopen(file.c_str(), "rb")) {
        std::fclose(existing);
        if (!options.force)
            return fail(options, kFailed, "exists already; --force replaces it", file);
    }
    // Written beside the target and renamed over it: never half a file.
    const std::string part = file + ".part";
    if (!zelimage::writeFile(part, text) || std::rename(part.c_str(), file.c_str()) != 0) {
        std::remove(part.c_str());
        return fail(options, kFailed, "cannot be written", file);
    }
    std::printf("%s: %s image %s, %zu bytes\n", file.c_str(),
                options.bootloader ? "bootloader" : "firmware", version.c_str(), text.size());
    return kOk;
}

// Why a file does not load, with Qt's line and column when it is not
// well-formed XML.
int loadFailure(const Options& options, const std::string& file, ZEL_XML_RETURN code) {
    QFile f(QString::fromLocal8Bit(file.c_str()));
    if (!f.open(QIODevice::ReadOnly)) return fail(options, kFileInvalid, "cannot be opened", file);
    QXmlStreamReader xml(&f);
    while (!xml.atEnd()) xml.readNext();
    if (xml.hasError()) {
        return fail(options, kFileInvalid,
                    "not well-formed XML at line " + std::to_string(xml.lineNumber()) +
                        ", column " + std::to_string(xml.columnNumber()) + ": " +
                        xml.errorString().toStdString(),
                    file, code);
    }
    return fail(options, kFileInvalid, ZelConfigBase::decodeErrorType(code), file, code);
}

// A module or channel number operand: a whole number 1 to 65535, or 0.
unsigned short numberOperand(const std::string& text) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return 0;
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(text.c_str(), &end, 10);
    return (*end == '\0' && errno == 0 && n >= 1 && n <= 65535) ? static_cast<unsigned short>(n)
                                                                : 0;
}

ZEL_XML_ELEMENTS elementOperand(const std::string& text) {
    return ZelConfigBase::encodeQElementType(QString::fromStdString(text));
}

std::string place(unsigned short module, unsigned short channel) {
    if (module == 0) return "the file";
    return "module " + std::to_string(module) +
           (channel ? ", channel " + std::to_string(channel) : "");
}

ZEL_XML_RETURN readElement(ZelConfigWriter& doc, ZEL_XML_ELEMENTS element, unsigned short module,
                           unsigned short channel, std::string& text) {
    if (module == 0) return doc.getElement(element, text);
    return channel ? doc.getElement(element, text, module, channel)
                   : doc.getElement(element, text, module);
}

// config validate --strict: every value the file holds, against its element.
int strictValues(const Options& options, ZelConfigWriter& doc, const std::string& file) {
    unsigned short modules = 0;
    doc.getNumModules(modules);
    int bad = 0;
    const auto check = [&](ZEL_XML_ELEMENTS e, unsigned short m, unsigned short c) {
        std::string value;
        if (readElement(doc, e, m, c, value) != ZEL_XML_OK) return;
        if (const std::string p = elementValueProblem(e, value); !p.empty()) {
            std::printf("%s: %s: %s\n", file.c_str(), place(m, c).c_str(), latin1ToUtf8(p).c_str());
            ++bad;
        }
    };
    for (unsigned short m = 1; m <= modules; ++m) {
        for (int e = ZEL_XML_SERIAL_NUMBER; e <= ZEL_XML_PRIMARY_EXCITATION_FREQUENCY; ++e) {
            check(static_cast<ZEL_XML_ELEMENTS>(e), m, 0);
        }
        unsigned short channels = 0;
        doc.getNumChannels(m, channels);
        for (unsigned short c = 1; c <= channels; ++c) {
            for (int e = ZEL_XML_CHANNEL_LABEL; e <= ZEL_XML_SIGNAL_TYPE; ++e)
                check(static_cast<ZEL_XML_ELEMENTS>(e), m, c);
        }
    }
    if (bad > 0)
        return fail(options, kFileInvalid,
                    std::to_string(bad) + " value(s) the elements cannot hold", file);
    return kOk;
}

int configValidate(const Options& options, ZelConfigWriter& doc, const std::string& file) {
    ZEL_XML_ELEMENTS element = ZEL_XML_BASE_LABEL;
    unsigned short module = 0, channel = 0;
    const ZEL_XML_RETURN r = doc.validateElements(element, module, channel);
    if (r != ZEL_XML_OK) {
        // The check names a channel only for channel elements (from 100 on).
        std::printf("%s: %s: element %s", file.c_str(), ZelConfigBase::decodeErrorType(r).c_str(),
                    ZelConfigBase::decodeElementType(element).c_str());
        if (module != 0) std::printf(", module %u", module);
        if (element >= ZEL_XML_CHANNEL_LABEL && channel != 0) std::printf(", channel %u", channel);
        std::printf("\n");
        return kFileInvalid;
    }
    if (options.strict) {
        if (int s = strictValues(options, doc, file)) return s;
    }
    unsigned short modules = 0;
    doc.getNumModules(modules);
    std::printf("%s: valid%s, %u modules\n", file.c_str(),
                options.strict ? " with every value" : "", modules);
    return kOk;
}

// config set FILE ELEMENT VALUE MODULE [CHANNEL]: says what changed, from
// what to what, and only after reading it back from the written file.
int configSet(const Options& options, ZelConfigWriter& doc, const std::string& file) {
    const std::vector<std::string>& a = options.args;
    if (a.size() < 6) return usage(options, "config set takes FILE ELEMENT VALUE MODULE [CHANNEL]");
    const ZEL_XML_ELEMENTS element = elementOperand(a[3]);
    if (element == ZEL_XML_UNKNOWN_ELEMENT)
        return usage(options, "'" + a[3] + "' is no element of the file format");
    if (element == ZEL_XML_BASE_LABEL) {
        return usage(options,
                     "BaseLabel belongs to the file as a whole; the library edits module and "
                     "channel elements only");
    }
    const unsigned short module = numberOperand(a[5]);
    const unsigned short channel = a.size() > 6 ? numberOperand(a[6]) : 0;
    if (module == 0 || (a.size() > 6 && channel == 0))
        return usage(options, "module and channel numbers count from 1");
    const bool channelElement = element >= ZEL_XML_CHANNEL_LABEL;
    if (channelElement != (a.size() > 6)) {
        return usage(options, a[3] + (channelElement ? " is a channel element: give MODULE CHANNEL"
                                                     : " is a module element: give MODULE only"));
    }
    std::string value;
    if (!utf8ToLatin1(a[4], value)) {
        return usage(
            options,
            "the value holds characters the file's Latin-1 text cannot (only U+0000 to U+00FF)");
    }
    if (const std::string p = elementValueProblem(element, value); !p.empty())
        return usage(options, latin1ToUtf8(p));
    if (value.find_first_not_of(" \t\r\n") == std::string::npos) {
        return usage(options, "an empty value (or one of only blanks) would leave " + a[3] +
                                  " empty, and the file would then fail its check");
    }

    std::string before;
    ZEL_XML_RETURN r = readElement(doc, element, module, channel, before);
    if (r != ZEL_XML_OK) {
        return fail(options, kNotFound,
                    place(module, channel) + " has no element " + a[3] + ": " +
                        ZelConfigBase::decodeErrorType(r),
                    file, r);
    }
    r = channel ? doc.setElement(element, value, module, channel)
                : doc.setElement(element, value, module);
    if (r == ZEL_XML_SAME_DATA) {
        std::printf("%s: %s %s already holds '%s'; nothing written\n", file.c_str(),
                    place(module, channel).c_str(), a[3].c_str(), latin1ToUtf8(value).c_str());
        return kOk;
    }
    if (r != ZEL_XML_OK) return fail(options, kFailed, ZelConfigBase::decodeErrorType(r), file, r);
    std::string why;
    r = doc.writeFileChecked(why);
    if (r != ZEL_XML_OK) return fail(options, kFailed, why, file, r);
    // What the file now holds: a write that could not happen, or an empty
    // element the library cannot fill, shows here.
    ZelConfigWriter again;
    std::string after;
    if (again.loadXml(file) != ZEL_XML_OK ||
        readElement(again, element, module, channel, after) != ZEL_XML_OK || after != value) {
        return fail(
            options, kFailed,
            after == before
                ? "the file still holds the old value (is it or its folder read-only, or is "
                  "the element empty?)"
                : "the file does not hold the new value",
            file);
    }
    std::printf("%s: %s %s: '%s' -> '%s' (the earlier file is kept as %s~)\n", file.c_str(),
                place(module, channel).c_str(), a[3].c_str(), latin1ToUtf8(before).c_str(),
                latin1ToUtf8(after).c_str(), file.c_str());
    return kOk;
}

}  // namespace

int image(const Options& options) {
    const std::string verb = options.args.size() > 1 ? options.args[1] : "";
    if (verb == "build") return imageBuild(options);
    if (verb != "info" && verb != "check")
        return usage(options, "image takes info, check or build");
    if (options.args.size() != 3) return usage(options, "image " + verb + " takes one FILE");
    return verb == "info" ? imageInfo(options, options.args[2])
                          : imageCheck(options, options.args[2]);
}

int config(const Options& options) {
    const std::vector<std::string>& a = options.args;
    const std::string verb = a[1];
    if (verb != "validate" && verb != "show" && verb != "get" && verb != "set") {
        return usage(options, "config takes validate, show, get or set");
    }
    const std::size_t most = verb == "validate" ? 3 : verb == "show" ? 5 : verb == "get" ? 6 : 7;
    if (a.size() < 3 || a.size() > most)
        return usage(options, "wrong number of operands for config " + verb);
    if (options.strict && verb != "validate")
        return usage(options, "--strict goes with config validate");
    const std::string& file = a[2];
    ZelConfigWriter doc;
    const ZEL_XML_RETURN r = doc.loadXml(file);
    if (r != ZEL_XML_OK) return loadFailure(options, file, r);

    if (verb == "validate") return configValidate(options, doc, file);
    if (verb == "set") return configSet(options, doc, file);
    if (verb == "show") {
        std::string text;
        if (a.size() == 3) {
            const ZEL_XML_RETURN all = doc.getAllElements(text);
            if (all != ZEL_XML_OK)
                return fail(options, kFileInvalid, ZelConfigBase::decodeErrorType(all), file, all);
        } else {
            const unsigned short module = numberOperand(a[3]);
            const unsigned short channel = a.size() > 4 ? numberOperand(a[4]) : 0;
            if (module == 0 || (a.size() > 4 && channel == 0))
                return usage(options, "module and channel numbers count from 1");
            text = a.size() > 4 ? doc.getSpecificChannel(module, channel)
                                : doc.getSpecificModule(module);
            if (text.empty()) return fail(options, kNotFound, "no " + place(module, channel), file);
        }
        std::fputs(latin1ToUtf8(text).c_str(), stdout);
        return kOk;
    }
    // get
    if (a.size() < 4) return usage(options, "config get takes FILE ELEMENT [MODULE [CHANNEL]]");
    const ZEL_XML_ELEMENTS element = elementOperand(a[3]);
    if (element == ZEL_XML_UNKNOWN_ELEMENT)
        return usage(options, "'" + a[3] + "' is no element of the file format");
    const unsigned short module = a.size() > 4 ? numberOperand(a[4]) : 0;
    const unsigned short channel = a.size() > 5 ? numberOperand(a[5]) : 0;
    if ((a.size() > 4 && module == 0) || (a.size() > 5 && channel == 0)) {
        return usage(options, "module and channel numbers count from 1");
    }
    std::string text;
    const ZEL_XML_RETURN got = readElement(doc, element, module, channel, text);
    if (got != ZEL_XML_OK) {
        return fail(options, kNotFound,
                    place(module, channel) + " has no element " + a[3] + ": " +
                        ZelConfigBase::decodeErrorType(got),
                    file, got);
    }
    std::printf("%s\n", latin1ToUtf8(text).c_str());
    return kOk;
}

int simulationFileFailure(const Options& options, const std::string& file,
                          const std::string& error) {
    ZelConfigReader doc;
    const ZEL_XML_RETURN r = doc.loadXml(file);
    if (r != ZEL_XML_OK) return loadFailure(options, file, r);
    return fail(options, kFileInvalid, error);
}

}  // namespace zeltool
