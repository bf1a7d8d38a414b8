// Reads a local HTML file, such as a browser's bookmark file, and adds a web
// location under a tree item for each of its http links, named by the link
// text.
#pragma once

#include <string>

#include "engine/html/element_text.h"
#include "engine/html/sgml_parser.h"

class CSafNode;

class CLocalParser : public CSGMLParser {
 public:
  // Link text kept per A; more is dropped.
  static constexpr std::size_t kMaxText = 4096;

  // The item the locations go under.
  explicit CLocalParser(CSafNode* owner);

  // The locations made so far, and the http links the agent's cache refused
  // (it holds as many addresses as it can).
  int Created() const { return m_nCreated; }
  int Refused() const { return m_nRefused; }
  // Links passed over: relative ones, other schemes than http and https,
  // and web addresses without a host.
  int Relative() const { return m_nRelative; }
  int OtherScheme() const { return m_nOtherScheme; }
  int NoHost() const { return m_nNoHost; }

 protected:
  void OnCharacter(const SGMLTagDef* tag, int tagIndex, int code) override;
  void OnText(const SGMLTagDef* tag, int tagIndex, const char* text, std::size_t length) override;
  void OnStartTag(const SGMLTagDef* tag, int tagLength, int tagIndex, CSGMLAttribute* attributes) override;
  void OnEndTag(const SGMLTagDef* tag, int tagIndex) override;

 private:
  CSafNode* m_pOwner;
  std::string m_strAddress;
  ElementText m_text{kMaxText};
  int m_nCreated = 0;
  int m_nRefused = 0;
  int m_nRelative = 0;
  int m_nOtherScheme = 0;
  int m_nNoHost = 0;
};
