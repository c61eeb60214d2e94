#include "platform/jpeg/JpegErrorManager.h"

#include "platform/foundation/Log.h"

#include <string>

namespace vtl {

namespace {

void replacedErrorExit(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

// Warnings of damaged streams arrive per stripe and per frame: log each kind once.
void replacedOutputMessage(j_common_ptr cinfo) {
    char buffer[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, buffer);
    logOnce(std::string("jpeg-warning:") + buffer, std::string("JPEG stream warning: ") + buffer);
}

} // namespace

jpeg_error_mgr* initJpegErrorManager(JpegErrorManager& manager) {
    jpeg_error_mgr* base = jpeg_std_error(&manager.base);
    manager.base.error_exit = replacedErrorExit;
    manager.base.output_message = replacedOutputMessage;
    manager.message[0] = 0;
    return base;
}

} // namespace vtl
