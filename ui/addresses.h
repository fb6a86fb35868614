// The maker's two addresses: the home page the Help menu, the HomePage button and the
// About box open, and the support mailbox the About box names.
#pragma once

namespace corvane {

inline constexpr const char* kHomePage = "https://corvane.example/";
inline constexpr const char* kSupportAddress = "support@corvane.example";

}  // namespace corvane
