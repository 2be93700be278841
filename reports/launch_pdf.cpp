// Hands a written PDF report to the viewer: a new tab of the connected browser view.
#include "reports/launch_pdf.h"

#include <filesystem>
#include <system_error>

#include "platform/sys/launch.h"
#include "platform/ui/notify.h"

int LaunchPdfView(const char* path)
{
    if (!path || !*path || !vui::has_subscribers()) return 0;
    // The view serves documents by absolute path; a relative one would depend on where the program started.
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    vsys::launch_document(error ? std::string(path) : absolute.string());
    return 1;
}
