// What a page transfer needs of the location that asked for it. The
// location's retrieval answers these; the transfer calls them on a worker
// thread, with the transfer's slot locked.
#pragma once

#include <cstdint>
#include <string>

class CHTTPAsyncClient;
class CPageDescr;

class CHTTPRequestOwner {
 public:
  // Results of OnHeaders and OnData.
  enum DataResult { readOn = 0, done = 1, rejected = 2, cancel = 3 };

  virtual ~CHTTPRequestOwner() = default;

  // The page record to load and to write the response into; while it is
  // null the transfer does nothing.
  virtual CPageDescr* RequestPage() = 0;
  // The value of the Accept header.
  virtual void GetAcceptTypes(std::string& types) = 0;
  // If-Modified-Since, sent only when above 0.
  virtual std::uint32_t GetIfModifiedSince() = 0;
  // False: send nothing. True with text: the Basic credentials to send.
  virtual int GetAuthorization(std::string& credentials) = 0;
  // Once, after the header block was parsed into the page record.
  virtual int OnHeaders() = 0;
  // Every block of body bytes.
  virtual int OnData(const char* data, int length) = 0;
  // The location's node is told; the first on the submitting thread, the
  // second on the worker that takes the transfer.
  virtual void OnRequestQueued() = 0;
  virtual void OnRequestStarted() = 0;
  // The final status of a transfer the owner did not end itself (0, a
  // job-server status 0x1xxx or a failure 0x8xxx); only while the owner
  // has a page record.
  virtual void OnRequestFinished(int status) = 0;
  // Just before OnRequestFinished, when the failure has words beyond its
  // status: OpenSSL's reason a certificate was refused, a TLS alert.
  virtual void OnRequestFailureDetail(const std::string& detail) { (void)detail; }
  // Always last: the request is about to be deleted, so the owner forgets
  // any pointer it keeps to it.
  virtual void OnRequestFreed(CHTTPAsyncClient* request) { (void)request; }
};
