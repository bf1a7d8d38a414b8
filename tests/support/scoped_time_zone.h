// Sets TZ for the life of a test and puts the caller's zone back after.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone = nullptr) {
    const char* tz = std::getenv("TZ");
    m_hadTz = tz != nullptr;
    if (tz) m_savedTz = tz;
    if (zone) Use(zone);
  }
  ~ScopedTimeZone() {
    if (m_hadTz)
      setenv("TZ", m_savedTz.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

  static void Use(const std::string& zone) {
    setenv("TZ", zone.c_str(), 1);
    tzset();
  }

 private:
  bool m_hadTz = false;
  std::string m_savedTz;
};
