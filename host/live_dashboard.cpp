#include "live_dashboard.h"

namespace kalo::embedded {
extern const unsigned char dashboard_html[];
extern const unsigned long dashboard_html_size;
extern const unsigned char chart_js[];
extern const unsigned long chart_js_size;
} // namespace kalo::embedded

namespace kalo::host {

const std::string& dashboardPage() {
    static const std::string page(reinterpret_cast<const char*>(embedded::dashboard_html), embedded::dashboard_html_size);
    return page;
}

const std::string& chartingLibrary() {
    static const std::string library(reinterpret_cast<const char*>(embedded::chart_js), embedded::chart_js_size);
    return library;
}

} // namespace kalo::host
