// Opens web links from the editor in the user's default browser.
#pragma once

#include <string>

namespace QuenrilEQ {

/// True when `url` begins with exactly "https://" or "http://" (case-sensitive)
/// and holds no zero byte. Only such addresses are ever handed on.
bool isOpenableUrl(const std::string& url);

/// Opens an openable address with xdg-open, found on PATH and started
/// directly (no shell), the address as its single argument; the prefix test
/// means it can never read as an option. Waits for xdg-open and answers true
/// only when it started and exited with status 0. False for any other
/// address, without starting anything. [UI thread] Blocks until xdg-open exits.
bool openExternalUrl(const std::string& url);

}  // namespace QuenrilEQ
