// Why a page could not be had, in words for the page's record: the status
// text of a load that got no answer which stands (the status code is then 0).
#pragma once

#include <string>

namespace hv::http {

// Loads that end without an answer of the server's own.
inline constexpr const char* kClosedUnanswered = "closed without an answer";
inline constexpr const char* kBrokenUnanswered = "connection broken before an answer";
inline constexpr const char* kNotHttp = "not an HTTP answer";
inline constexpr const char* kTooManyRedirects = "too many redirects";
inline constexpr const char* kRedirectNowhere = "redirected without a web address";
inline constexpr const char* kCopyNotWritten = "the copy could not be written";
inline constexpr const char* kDiskFull = "the disk is full";

// The words for a transfer's final status (HttpStatus, the job server's);
// empty for a normal end and for a stop, which the run reports as such.
// detail, the transfer's own words for its failure, completes them.
std::string TransferFailureText(int status, const std::string& detail = {});
// text, followed by detail in brackets when there is one.
std::string WithDetail(const std::string& text, const std::string& detail);

}  // namespace hv::http
