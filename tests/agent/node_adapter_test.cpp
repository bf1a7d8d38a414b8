// What the user interface reads and writes through the nodes: texts, the two
// records, the retrieval result and the packed strategy lists.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/agent/agent_anchor.h"
#include "engine/agent/agent_manager.h"
#include "engine/agent/base_node.h"
#include "engine/agent/html_anchor.h"
#include "engine/cache/cache.h"
#include "platform/files/file_system.h"
#include "support/test_home.h"

namespace {

std::uint32_t DWord(const std::uint8_t* p, std::size_t at) {
  return p[at] | (p[at + 1] << 8) | (p[at + 2] << 16) | (static_cast<std::uint32_t>(p[at + 3]) << 24);
}

// The whole block, freed.
std::vector<std::uint8_t> Take(HGLOBAL block) {
  std::vector<std::uint8_t> bytes;
  if (!block) return bytes;
  const auto* p = static_cast<const std::uint8_t*>(GlobalLock(block));
  bytes.assign(p, p + GlobalSize(block));
  GlobalUnlock(block);
  GlobalFree(block);
  return bytes;
}

std::string Text(CSafNode* node, int item) {
  char probe[1];
  const int size = node->GetData(item, probe, 1);
  std::string text(static_cast<std::size_t>(size), '\0');
  node->GetData(item, text.data(), size);
  text.resize(std::strlen(text.c_str()));
  return text;
}

class NodeAdapter : public TestHome {
 protected:
  void SetUp() override {
    TestHome::SetUp();
    m_agent = CSafClient::CreateAgent("Nodes");
    ASSERT_NE(m_agent, nullptr);
    m_loc = CSafClient::CreateHTMLNode(m_agent, "", "http://host/index.html", 0);
    ASSERT_NE(m_loc, nullptr);
    m_page = static_cast<CHTMLAnchor*>(static_cast<CBaseNode*>(m_loc)->m_pAnchor)->m_pPage;
  }
  CCache* Cache() { return CAgentManager::Instance().Cache(); }

  CSafNode* m_agent = nullptr;
  CSafNode* m_loc = nullptr;
  CPageDescr* m_page = nullptr;
};

TEST_F(NodeAdapter, texts_fit_or_report_the_size_needed) {
  char small[5] = "xxxx";
  EXPECT_EQ(m_agent->GetData(itemName, small, 5), 6);
  EXPECT_STREQ(small, "xxxx");  // "Nodes" does not fit in 5 with its zero
  char fits[6];
  EXPECT_EQ(m_agent->GetData(itemName, fits, 6), 6);
  EXPECT_STREQ(fits, "Nodes");
  // A location without a name shows its URL.
  EXPECT_EQ(Text(m_loc, itemName), "http://host/index.html");
  EXPECT_EQ(Text(m_loc, itemUrl), "http://host/index.html");
  EXPECT_EQ(m_agent->GetData(itemUrl, fits, 6), 0);
  EXPECT_EQ(Text(m_agent, itemLocalFile), Path("Startup Agent/hvpage.htm"));
}

TEST_F(NodeAdapter, local_file_is_the_stored_copy_while_it_exists) {
  m_page->m_strLocalFile = "3S000001.htm";
  Cache()->AddKey("3S000001.htm", m_page);
  EXPECT_EQ(Text(m_loc, itemLocalFile), "http://host/index.html");
  WriteFile(Path("Nodes/3S000001.htm"), {'<', 'p', '>'});
  EXPECT_EQ(Text(m_loc, itemLocalFile), Path("Nodes/3S000001.htm"));
  hv::fs::RemoveFile(Path("Nodes/3S000001.htm"));
  EXPECT_EQ(Text(m_loc, itemLocalFile), "http://host/index.html");
}

TEST_F(NodeAdapter, result_record_comes_from_the_page_record) {
  m_page->m_tLastModified = 1000;
  m_page->m_tStoredAt = 2000;
  m_page->m_bFlag = 1;
  m_page->m_nState = CPageDescr::kStored;
  m_page->m_nCopyKept = 2;
  m_page->m_tLastRetrievalEnd = 3000;
  m_page->m_nStatusCode = 404;
  _httpRetrieveResult r{};
  EXPECT_EQ(m_loc->GetData(itemResult, &r, sizeof r), static_cast<int>(sizeof r));
  EXPECT_EQ(r.lastModified, 1000u);
  EXPECT_EQ(r.storedAt, 2000u);
  EXPECT_EQ(r.modified, 1);
  EXPECT_EQ(r.localCopy, 1);
  EXPECT_EQ(r.retrievedBefore, 1);
  EXPECT_EQ(r.statusCode, 404);
  EXPECT_EQ(m_loc->GetValue(itemKindFlags), 0x41u | (404u << 12));
  // Site-map-only copies and pages never stored are not local copies.
  m_page->m_nCopyKept = 0;
  m_loc->GetData(itemResult, &r, sizeof r);
  EXPECT_EQ(r.localCopy, 0);
  m_page->m_tLastModified = 0;
  m_loc->GetData(itemResult, &r, sizeof r);
  EXPECT_EQ(r.modified, 0);
}

TEST_F(NodeAdapter, page_record_layout) {
  m_page->m_tLastModified = 0x11223344;
  m_page->m_tLastRetrievalEnd = 0x55667788;  // the loaded time, not the stored time
  m_page->m_tStoredAt = 0x55667700;
  m_page->m_strLocalFile = "3S00000a.htm";
  m_page->m_strTitle = "Home";
  const auto rec = Take(m_loc->GetDataHandle(itemRecord));
  const std::string url = "http://host/index.html";
  ASSERT_EQ(rec.size(), url.size() + 12 + 4 + 30);
  EXPECT_EQ(DWord(rec.data(), 0), 0u);
  EXPECT_EQ(DWord(rec.data(), 4), 0x11223344u);
  EXPECT_EQ(DWord(rec.data(), 8), 0x55667788u);
  EXPECT_EQ(DWord(rec.data(), 12), 0u);
  const auto* texts = reinterpret_cast<const char*>(rec.data() + 24);
  EXPECT_STREQ(texts, url.c_str());
  EXPECT_STREQ(texts + DWord(rec.data(), 16), "3S00000a.htm");
  EXPECT_STREQ(texts + DWord(rec.data(), 20), "Home");
}

TEST_F(NodeAdapter, agent_record_layout_and_writing_it_back) {
  CAgentAnchor* agent = CAgentManager::Instance().Agent();
  agent->m_strAuthor1 = "Ann";
  agent->m_strAuthor2 = "Bo";
  agent->m_strAuthor3 = "Cy";
  agent->m_nSizeLimit = 512;
  agent->m_nFileCount = 3;
  agent->m_nByteCount = 4000;
  auto rec = Take(m_agent->GetDataHandle(itemRecord));
  const std::string folder = Path("Nodes");
  ASSERT_EQ(rec.size(), 3 + 2 + 2 + folder.size() + 39);
  EXPECT_EQ(DWord(rec.data(), 0), 1u);
  EXPECT_EQ(DWord(rec.data(), 4), 512u);
  EXPECT_EQ(DWord(rec.data(), 8), 3u);
  EXPECT_EQ(DWord(rec.data(), 12), 4000u);
  const auto* texts = reinterpret_cast<const char*>(rec.data() + 32);
  // Stored in the order 1, 3, 2, folder.
  EXPECT_EQ(DWord(rec.data(), 16), 0u);
  EXPECT_EQ(DWord(rec.data(), 24), 4u);
  EXPECT_EQ(DWord(rec.data(), 20), 7u);
  EXPECT_STREQ(texts + DWord(rec.data(), 16), "Ann");
  EXPECT_STREQ(texts + DWord(rec.data(), 20), "Bo");
  EXPECT_STREQ(texts + DWord(rec.data(), 24), "Cy");
  EXPECT_STREQ(texts + DWord(rec.data(), 28), folder.c_str());

  // Writing reads kind, limit and the three texts; counts are read only.
  rec[4] = 0;
  rec[5] = 1;  // 256 KB
  rec[8] = 99;
  std::memcpy(rec.data() + 32, "Eve", 3);
  agent->m_bModified = 0;
  EXPECT_EQ(m_agent->SetData(itemRecord, rec.data(), static_cast<unsigned long>(rec.size())), 1);
  EXPECT_EQ(agent->m_nSizeLimit, 256);
  EXPECT_EQ(agent->m_nFileCount, 3);
  EXPECT_EQ(agent->m_strAuthor1, "Eve");
  EXPECT_EQ(agent->m_bModified, 1);
  rec[0] = 0;  // not an agent record
  EXPECT_EQ(m_agent->SetData(itemRecord, rec.data(), static_cast<unsigned long>(rec.size())), 0);
  // Offsets that point outside a record of known size are refused.
  rec[0] = 1;
  rec[16] = 0xF0;
  EXPECT_EQ(m_agent->SetData(itemRecord, rec.data(), static_cast<unsigned long>(rec.size())), 0);
}

TEST_F(NodeAdapter, url_of_a_location_can_change_but_not_of_a_retrieved_page) {
  EXPECT_EQ(m_loc->SetData(itemUrl, "HTTP://HOST/index.html", 0), 1);  // same, ignoring case
  EXPECT_EQ(Text(m_loc, itemUrl), "http://host/index.html");
  EXPECT_EQ(m_loc->SetData(itemUrl, "ftp://host/", 0), 0);
  EXPECT_EQ(m_loc->SetData(itemUrl, "", 0), 0);
  EXPECT_EQ(m_loc->SetData(itemUrl, "http://other/", 0), 1);
  EXPECT_EQ(Text(m_loc, itemUrl), "http://other/");
  auto* loc = static_cast<CBaseNode*>(m_loc)->m_pAnchor;
  auto page = std::make_unique<CHTMLAnchor>();
  page->m_pPage = Cache()->FindOrCreate("http://other/a");
  CAnchor* retrieved = loc->InsertChild(std::move(page), 0);
  EXPECT_EQ(retrieved->m_pNode->SetData(itemUrl, "http://other/b", 0), 0);
  EXPECT_EQ(retrieved->GetPageUrl(), "http://other/a");
}

TEST_F(NodeAdapter, agent_rename_to_an_unusable_name_is_refused_and_keeps_the_agent_open) {
  CAgentManager& manager = CAgentManager::Instance();
  for (const std::string& name : {std::string(), std::string("."), std::string(".."), std::string("a/b"),
                                 std::string(251, 'x')}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(m_agent->SetData(itemName, name.c_str(), 0), 0);
    EXPECT_EQ(Text(m_agent, itemName), "Nodes");
    EXPECT_EQ(manager.AgentName(), "Nodes");
    // The location still finds its page in the agent's index.
    ASSERT_NE(Cache(), nullptr);
    _httpRetrieveResult r{};
    EXPECT_EQ(m_loc->GetData(itemResult, &r, sizeof r), static_cast<int>(sizeof r));
  }
  manager.Agent()->m_bModified = 1;
  EXPECT_TRUE(manager.Save());
  EXPECT_EQ(CSafClient::DoesAgentExist("Nodes"), 1);
}

TEST_F(NodeAdapter, missing_items_give_nothing) {
  EXPECT_EQ(m_agent->GetDataHandle(itemUrl), nullptr);
  EXPECT_EQ(m_agent->GetDataHandle(itemResult), nullptr);
  EXPECT_EQ(m_agent->GetValue(itemKindFlags), 0u);
  EXPECT_EQ(m_agent->SetData(itemUrl, "http://x/", 0), 0);
  const auto name = Take(m_loc->GetDataHandle(itemName));
  EXPECT_EQ(std::string(name.begin(), name.end()), std::string("http://host/index.html", 23));
}

TEST_F(NodeAdapter, packed_strategy_lists) {
  auto packed = [](std::vector<const char*> names) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < names.size(); ++i) {
      bytes.push_back(static_cast<std::uint8_t>(i));
      bytes.insert(bytes.end(), names[i], names[i] + std::strlen(names[i]) + 1);
    }
    bytes.push_back(0xFF);
    return bytes;
  };
  EXPECT_EQ(Take(CSafClient::GetFileTypeList()),
            packed({"Site map", "Text only", "Text and graphics", "All files"}));
  EXPECT_EQ(Take(CSafClient::GetConstraintList()),
            packed({"Unrestricted", "Links within site", "Links within directory", "Links outside site",
                    "Inside server"}));
  // An empty list is no block, not a lone 0xFF.
  CAgentManager::Instance().Agent()->m_fileTypes.RemoveAllItems();
  EXPECT_EQ(CSafClient::GetFileTypeList(), nullptr);
}

TEST_F(NodeAdapter, nodes_of_another_tree_are_refused) {
  CSafClient::DeleteAgent();
  EXPECT_EQ(CSafClient::GetFileTypeList(), nullptr);
  EXPECT_EQ(CSafClient::CreateHTMLNode(nullptr, "x", "http://a/", 0), nullptr);
  EXPECT_EQ(CSafClient::FindAgent("Nodes", ""), nullptr);
}

}  // namespace
