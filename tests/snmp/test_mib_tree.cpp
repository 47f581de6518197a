// The MIB picker's tree over a small hand-written module: layout, table rows of column copies,
// ticks, and the tag list it gives an agent.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "snmp/mib_tree.h"

using namespace t32::snmp;

namespace {
namespace fs = std::filesystem;

const char* const kModule = R"(TREE-TEST-MIB DEFINITIONS ::= BEGIN
internet OBJECT IDENTIFIER ::= { iso org(3) dod(6) 1 }
treeTest OBJECT IDENTIFIER ::= { internet 4 1 9999 }
upTime OBJECT-TYPE
    SYNTAX INTEGER
    ACCESS read-only
    STATUS mandatory
    DESCRIPTION "Uptime."
    ::= { treeTest 1 }
ifTable OBJECT-TYPE
    SYNTAX SEQUENCE OF IfEntry
    ACCESS not-accessible
    STATUS mandatory
    DESCRIPTION "Interfaces."
    ::= { treeTest 2 }
ifEntry OBJECT-TYPE
    SYNTAX IfEntry
    ACCESS not-accessible
    STATUS mandatory
    DESCRIPTION "One interface."
    INDEX { ifIndex }
    ::= { ifTable 1 }
IfEntry ::= SEQUENCE {
    ifInOctets INTEGER,
    ifOutOctets INTEGER
}
ifInOctets OBJECT-TYPE
    SYNTAX INTEGER
    ACCESS read-only
    STATUS mandatory
    DESCRIPTION "In."
    ::= { ifEntry 10 }
ifOutOctets OBJECT-TYPE
    SYNTAX INTEGER
    ACCESS read-only
    STATUS mandatory
    DESCRIPTION "Out."
    ::= { ifEntry 16 }
END
)";

struct MibTree : ::testing::Test {
  fs::path dir;
  TMibCatalogue cat;
  TMibTree tree;
  void SetUp() override {
    dir = fs::temp_directory_path() / ("t32_mibtree_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "TREE-TEST-MIB.txt") << kModule;
    cat.SystemMibFolders = false;
    ASSERT_TRUE(cat.LoadMib((dir / "TREE-TEST-MIB.txt").string()));
    tree.Build(cat, "TREE-TEST-MIB.txt");
  }
  void TearDown() override { fs::remove_all(dir); }
  TMibNode* Find(const std::string& caption, TMibNode* from = nullptr) {
    from = from ? from : tree.Root();
    if (from->caption == caption) return from;
    for (auto& c : from->children)
      if (TMibNode* n = Find(caption, c.get())) return n;
    return nullptr;
  }
  static std::vector<std::string> Names(const TSNMP_TagList& l) {
    std::vector<std::string> out;
    for (const auto& t : l.Items) {
      TSnmpOid oid;
      t->GetOid(oid);
      out.push_back(t->Name + "=" + SnmpOidToString(oid));
    }
    return out;
  }
};

}  // namespace

TEST_F(MibTree, TableRowsGiveColumnCopiesInTreeOrder) {
  TMibNode* table = Find("ifTable");
  ASSERT_NE(table, nullptr) << "the table has columns: it is shown";
  EXPECT_EQ(tree.Root()->caption, "TREE-TEST-MIB.txt");
  TMibTree::SetRowCount(table, 0);
  TMibTree::SetTicked(table, true);
  EXPECT_TRUE(tree.Collect({}, nullptr).Items.empty());

  TMibTree::SetRowCount(table, 2);  // keeps the tick, passes it to the new rows
  ASSERT_EQ(table->children.size(), 2u);
  EXPECT_EQ(table->children[1]->caption, "2");
  EXPECT_EQ(Names(tree.Collect({}, nullptr)),
            (std::vector<std::string>{"ifInOctets[1]=1.3.6.1.4.1.9999.2.1.10.1", "ifOutOctets[1]=1.3.6.1.4.1.9999.2.1.16.1",
                                      "ifInOctets[2]=1.3.6.1.4.1.9999.2.1.10.2", "ifOutOctets[2]=1.3.6.1.4.1.9999.2.1.16.2"}));
  TMibTree::SetTicked(table->children[0].get(), false);
  EXPECT_EQ(tree.Collect({}, nullptr).Count(), 2u);
}

TEST_F(MibTree, OwnTicksAndTagsTheTreeCannotShowAreKept) {
  TMibTree::SetRowCount(Find("ifTable"), 1);
  // The agent polls upTime and an object of another module.
  TSNMP_TagList mine;
  TSNMP_Tag& a = mine.Add();
  a.Name = "other";
  a.SetOid(MakeSnmpOid({1, 3, 6, 1, 2, 1, 1, 3, 0}));
  TSNMP_Tag& b = mine.Add();
  b.Name = "upTime";
  b.SetOid(MakeSnmpOid({1, 3, 6, 1, 4, 1, 9999, 1}));
  TMibTree::SetTicked(tree.Root(), true);  // ticks left over from another agent
  tree.TickTags(mine);
  EXPECT_TRUE(Find("upTime")->ticked);
  EXPECT_FALSE(Find("ifInOctets[1]")->ticked);
  Find("ifOutOctets[1]")->ticked = true;
  EXPECT_EQ(Names(tree.Collect(mine, nullptr)),
            (std::vector<std::string>{"other=1.3.6.1.2.1.1.3.0", "upTime=1.3.6.1.4.1.9999.1",
                                      "ifOutOctets[1]=1.3.6.1.4.1.9999.2.1.16.1"}));
}
