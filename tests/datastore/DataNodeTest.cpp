#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "DataStoreFixture.h"
#include "datastore/NodeFactory.h"
#include "datastore/TWAppParameterNode.h"
#include "datastore/TWBranchNode.h"
#include "datastore/TWFlavorNode.h"
#include "datastore/TWVersionNode.h"

using tw::CTWAppParameterNode;
using tw::CTWBranchNode;
using tw::CTWFlavorNode;
using tw::CTWVersionNode;
using tw::ITWDataNode;
using tw::NodeFactory;
using tw::TWAccessMode;
using tw::TWDataBranch;
using namespace twtest;

namespace {

class DataNodeTest : public DataStoreTest {
protected:
    std::unique_ptr<CTWVersionNode> CreateVersion(unsigned major, TWAccessMode mode = TWAccessMode::FullAccess) {
        DWORD created = 9;
        long error = 99;
        std::unique_ptr<CTWVersionNode> node(
            NodeFactory::CreateVersionNode(TWDataBranch::Product, major, mode, &created, nullptr, &error));
        EXPECT_EQ(0, error);
        return node;
    }
    const std::string k28 = std::string(kProductKey) + "\\28.0";
};

TEST_F(DataNodeTest, CreateVersionNodeReportsWhetherTheKeyWasNew) {
    DWORD created = 9;
    long error = 99;
    std::unique_ptr<CTWVersionNode> node(
        NodeFactory::CreateVersionNode(TWDataBranch::Product, 28, TWAccessMode::Read, &created, nullptr, &error));
    ASSERT_TRUE(node);
    EXPECT_EQ(0, error);
    EXPECT_EQ(1u, created);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, k28));
    EXPECT_STREQ(k28.c_str(), node->GetNodePath());
    EXPECT_EQ(28u, node->GetMajorVersion());
    EXPECT_EQ(TWDataBranch::Product, node->GetBranch());
    EXPECT_EQ(1, node->IsRegistryNode());

    node.reset(
        NodeFactory::CreateVersionNode(TWDataBranch::Product, 28, TWAccessMode::Read, &created, nullptr, &error));
    ASSERT_TRUE(node);
    EXPECT_EQ(0u, created);

    // The user hive holds the same key path apart.
    node.reset(
        NodeFactory::CreateVersionNode(TWDataBranch::UserProduct, 28, TWAccessMode::Read, &created, nullptr, &error));
    ASSERT_TRUE(node);
    EXPECT_EQ(1u, created);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, k28));

    EXPECT_EQ(nullptr,
              NodeFactory::CreateVersionNode(TWDataBranch::Product, 41, TWAccessMode::Read, &created, nullptr, &error));
    EXPECT_EQ(-4, error);
    EXPECT_EQ(nullptr, NodeFactory::OpenVersionNode(TWDataBranch::Product, 5, TWAccessMode::Read, &error));
    EXPECT_EQ(-4, error);
    EXPECT_EQ(nullptr, NodeFactory::OpenVersionNode(TWDataBranch::None, 28, TWAccessMode::Read, nullptr));
}

TEST_F(DataNodeTest, OpenMissingKeysGivesTheRegistryError) {
    long error = 0;
    EXPECT_EQ(nullptr, NodeFactory::OpenVersionNode(TWDataBranch::Product, 28, TWAccessMode::Read, &error));
    EXPECT_EQ(2, error);
    MakeKey(HKEY_LOCAL_MACHINE, k28);
    EXPECT_EQ(nullptr, NodeFactory::OpenFlavorNode(TWDataBranch::Product, 28, "ember", TWAccessMode::Read, &error));
    EXPECT_EQ(2, error);
    EXPECT_EQ(nullptr, NodeFactory::OpenFlavorNode(TWDataBranch::Product, 28, "", TWAccessMode::Read, &error));
    EXPECT_EQ(-5, error);
    EXPECT_EQ(nullptr, NodeFactory::OpenBranchNode(static_cast<TWDataBranch>(5), TWAccessMode::Read, &error));
    EXPECT_EQ(-1, error);
}

TEST_F(DataNodeTest, BranchNodeKinds) {
    MakeKey(HKEY_LOCAL_MACHINE, kProductKey);
    MakeKey(HKEY_LOCAL_MACHINE, kCommonKey);
    std::unique_ptr<CTWAppParameterNode> product(
        NodeFactory::OpenBranchNode(TWDataBranch::Product, TWAccessMode::Read, nullptr));
    std::unique_ptr<CTWAppParameterNode> common(
        NodeFactory::OpenBranchNode(TWDataBranch::Common, TWAccessMode::Read, nullptr));
    ASSERT_TRUE(product && common);
    EXPECT_NE(nullptr, dynamic_cast<CTWBranchNode*>(product.get()));
    EXPECT_EQ(nullptr, dynamic_cast<CTWBranchNode*>(common.get()));
    EXPECT_STREQ(kCommonKey, common->GetNodePath());
}

TEST_F(DataNodeTest, ValueOperations) {
    auto node = CreateVersion(28);
    ASSERT_TRUE(node);
    const char* text = nullptr;
    DWORD number = 5;

    EXPECT_EQ(3, node->ReadValueData("TWVersion", &text));
    EXPECT_EQ(nullptr, text);
    EXPECT_EQ(3, node->GetLastError());
    EXPECT_EQ(0, node->WriteValueData("TWVersion", "4005"));
    EXPECT_EQ("4005", GetString(HKEY_LOCAL_MACHINE, k28, "TWVersion"));
    EXPECT_EQ(0, node->ReadValueData("TWVersion", &text));
    EXPECT_STREQ("4005", text);
    EXPECT_EQ(-6, node->ReadValueData("TWVersion", &number));
    EXPECT_EQ(0u, number);

    EXPECT_EQ(0, node->WriteValueData("Count", static_cast<DWORD>(42)));
    EXPECT_EQ(0, node->ReadValueData("Count", &number));
    EXPECT_EQ(42u, number);
    EXPECT_EQ(-6, node->ReadValueData("Count", &text));

    int isNumber = 7;
    EXPECT_EQ(0, node->ReadAnyValueData("TWVersion", &text, &number, &isNumber));
    EXPECT_STREQ("4005", text);
    EXPECT_EQ(0, isNumber);
    EXPECT_EQ(0, node->ReadAnyValueData("Count", &text, &number, &isNumber));
    EXPECT_EQ(42u, number);
    EXPECT_EQ(1, isNumber);

    // Names: empty ones do nothing for numbers; the default value for strings.
    EXPECT_EQ(1, node->ReadValueData("", &number));
    EXPECT_EQ(1, node->WriteValueData("", static_cast<DWORD>(1)));
    EXPECT_EQ(0, node->WriteValueData("", "default"));
    EXPECT_EQ(0, node->ReadValueData("", &text));
    EXPECT_STREQ("default", text);
    EXPECT_EQ(-7, node->WriteValueData("Null", static_cast<const char*>(nullptr)));

    const std::string name255(255, 'n'), name256(256, 'n');
    EXPECT_EQ(0, node->WriteValueData(name255.c_str(), "ok"));
    EXPECT_EQ(1, node->WriteValueData(name256.c_str(), "no"));
    EXPECT_EQ(1, node->WriteValueData(name256.c_str(), static_cast<DWORD>(3)));
    EXPECT_FALSE(node->ValueExists(name256.c_str()));
    EXPECT_TRUE(node->ValueExists(name255.c_str()));
    EXPECT_TRUE(node->ValueExists(""));
    EXPECT_FALSE(node->ValueExists("Missing"));

    EXPECT_EQ(1, node->DeleteValue(""));
    EXPECT_EQ(0, node->DeleteValue("Count"));
    EXPECT_EQ(3, node->DeleteValue("Count"));
    EXPECT_EQ(3, node->GetLastError());
}

TEST_F(DataNodeTest, LongStringValueIsReadWhole) {
    auto node = CreateVersion(28);
    ASSERT_TRUE(node);
    const std::string value(1499, 'x');
    ASSERT_EQ(0, node->WriteValueData("Long", value.c_str()));
    const char* text = nullptr;
    ASSERT_EQ(0, node->ReadValueData("Long", &text));
    EXPECT_EQ(value, std::string(text));
}

TEST_F(DataNodeTest, UnboundNodeRefusesEveryOperation) {
    CTWAppParameterNode node;
    const char* text = nullptr;
    DWORD number = 0;
    char** names = nullptr;
    DWORD count = 4;
    EXPECT_EQ(-2, node.ReadValueData("Path", &text));
    EXPECT_EQ(-2, node.ReadValueData("Path", &number));
    EXPECT_EQ(-2, node.WriteValueData("Path", "x"));
    EXPECT_EQ(-2, node.WriteValueData("Path", number));
    EXPECT_FALSE(node.ValueExists("Path"));
    EXPECT_EQ(-2, node.GetLastError());
    EXPECT_EQ(-2, node.DeleteValue("Path"));
    EXPECT_EQ(-2, node.GetValueNames(&names, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(-2, node.GetChildNodeNames(&names, &count));
    EXPECT_EQ(-2, node.DeleteNode());
    ITWDataNode* child = nullptr;
    EXPECT_EQ(-2, node.GetChildNode("x", TWAccessMode::Read, &child));
    EXPECT_EQ(-1, node.GetChildNode("", TWAccessMode::Read, &child));
    EXPECT_EQ(nullptr, child);
    EXPECT_EQ(tw::TWDataBranch::None, node.GetBranch());
    EXPECT_STREQ("", node.GetNodePath());
}

TEST_F(DataNodeTest, FlavorNodesNeedAKnownFlavorToBeCreated) {
    auto version = CreateVersion(28);
    ASSERT_TRUE(version);
    DWORD created = 0;
    long error = 0;
    EXPECT_EQ(nullptr, NodeFactory::CreateFlavorNode(TWDataBranch::Product, 28, "ember", TWAccessMode::Read, &created,
                                                     nullptr, &error));
    EXPECT_EQ(-5, error);  // no catalogue

    TempDir common("twcommon");
    InstallCatalogue(common);
    EXPECT_EQ(nullptr, NodeFactory::CreateFlavorNode(TWDataBranch::Product, 28, "nosuch", TWAccessMode::Read, &created,
                                                     nullptr, &error));
    EXPECT_EQ(-5, error);
    std::unique_ptr<CTWFlavorNode> flavor(NodeFactory::CreateFlavorNode(
        TWDataBranch::Product, 28, "ember", TWAccessMode::ReadWrite, &created, nullptr, &error));
    ASSERT_TRUE(flavor);
    EXPECT_EQ(1u, created);
    EXPECT_STREQ("ember", flavor->GetFlavor());
    EXPECT_EQ(28u, flavor->GetMajorVersion());
    EXPECT_EQ(0, flavor->WriteValueData("TWVersion", "4005"));
    EXPECT_EQ("4005", GetString(HKEY_LOCAL_MACHINE, k28 + "\\ember", "TWVersion"));

    std::unique_ptr<CTWFlavorNode> opened(
        NodeFactory::OpenFlavorNode(TWDataBranch::Product, 28, "ember", TWAccessMode::Read, &error));
    ASSERT_TRUE(opened);
    const char* text = nullptr;
    EXPECT_EQ(0, opened->ReadValueData("TWVersion", &text));
    EXPECT_STREQ("4005", text);
}

TEST_F(DataNodeTest, TypedChildren) {
    SetString(HKEY_LOCAL_MACHINE, k28 + "\\ember", "Path", "C:\\TW\\tww.exe");
    SetString(HKEY_LOCAL_MACHINE, std::string(kProductKey) + "\\9.0\\Sub", "Path", "C:\\TW9\\tww.exe");
    std::unique_ptr<CTWAppParameterNode> root(
        NodeFactory::OpenBranchNode(TWDataBranch::Product, TWAccessMode::Read, nullptr));
    ASSERT_TRUE(root);

    CTWAppParameterNode* child = nullptr;
    ASSERT_EQ(0, root->GetChildNode("28.0", TWAccessMode::Read, &child));
    std::unique_ptr<CTWAppParameterNode> version(child);
    ASSERT_NE(nullptr, dynamic_cast<CTWVersionNode*>(version.get()));
    EXPECT_EQ(28u, version->GetMajorVersion());
    EXPECT_STREQ(k28.c_str(), version->GetNodePath());

    ASSERT_EQ(0, version->GetChildNode("ember", TWAccessMode::Read, &child));
    std::unique_ptr<CTWAppParameterNode> flavor(child);
    ASSERT_NE(nullptr, dynamic_cast<CTWFlavorNode*>(flavor.get()));
    EXPECT_STREQ("ember", flavor->GetFlavor());
    EXPECT_EQ(2, version->GetChildNode("pine", TWAccessMode::Read, &child));
    EXPECT_EQ(nullptr, child);
    EXPECT_EQ(2, version->GetLastError());

    // Under version 12 the children are plain nodes.
    EXPECT_EQ(2, root->GetChildNode("10", TWAccessMode::Read, &child));
    ASSERT_EQ(0, root->GetChildNode("9", TWAccessMode::Read, &child));
    std::unique_ptr<CTWAppParameterNode> nine(child);
    ASSERT_EQ(0, nine->GetChildNode("Sub", TWAccessMode::Read, &child));
    std::unique_ptr<CTWAppParameterNode> sub(child);
    EXPECT_EQ(nullptr, dynamic_cast<CTWFlavorNode*>(sub.get()));
    EXPECT_EQ(9u, sub->GetMajorVersion());
    EXPECT_STREQ((std::string(kProductKey) + "\\9.0\\Sub").c_str(), sub->GetNodePath());

    // The version node's own flavor lookup and the branch node's version lookup.
    auto* branch = dynamic_cast<CTWBranchNode*>(root.get());
    ASSERT_TRUE(branch);
    CTWVersionNode* versionNode = nullptr;
    ASSERT_EQ(0, branch->GetVersionNode(28, TWAccessMode::Read, &versionNode));
    std::unique_ptr<CTWVersionNode> ownedVersion(versionNode);
    CTWFlavorNode* flavorNode = nullptr;
    ASSERT_EQ(0, ownedVersion->GetChildNode("ember", TWAccessMode::Read, &flavorNode));
    std::unique_ptr<CTWFlavorNode> ownedFlavor(flavorNode);
    const char* text = nullptr;
    EXPECT_EQ(0, ownedFlavor->ReadValueData("Path", &text));
    EXPECT_STREQ("C:\\TW\\tww.exe", text);

    // Creating through the branch makes version keys.
    DWORD created = 0;
    std::unique_ptr<CTWAppParameterNode> writable(
        NodeFactory::OpenBranchNode(TWDataBranch::Product, TWAccessMode::FullAccess, nullptr));
    ASSERT_EQ(0, writable->CreateChildNode("30.0", TWAccessMode::FullAccess, &child, &created, nullptr));
    std::unique_ptr<CTWAppParameterNode> thirty(child);
    EXPECT_EQ(1u, created);
    EXPECT_NE(nullptr, dynamic_cast<CTWVersionNode*>(thirty.get()));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kProductKey) + "\\30.0"));
}

TEST_F(DataNodeTest, GenericChildrenThroughTheInterface) {
    auto version = CreateVersion(28);
    ASSERT_TRUE(version);
    ITWDataNode* base = version.get();
    DWORD created = 0;
    long error = 99;
    std::unique_ptr<ITWDataNode> child(
        base->CreateChildNode("Settings", TWAccessMode::FullAccess, &error, &created, nullptr));
    ASSERT_TRUE(child);
    EXPECT_EQ(0, error);
    EXPECT_EQ(1u, created);
    EXPECT_STREQ((k28 + "\\Settings").c_str(), child->GetNodePath());
    EXPECT_EQ(nullptr, dynamic_cast<CTWFlavorNode*>(child.get()));

    std::unique_ptr<ITWDataNode> again(base->GetChildNode("Settings", TWAccessMode::Read, &error));
    ASSERT_TRUE(again);
    EXPECT_EQ(nullptr, base->GetChildNode("Other", TWAccessMode::Read, &error));
    EXPECT_EQ(2, error);

    // A child key path of 255 characters or more is not created.
    const std::string longName(253 - k28.size(), 'c');  // path of 254 characters
    ITWDataNode* made = nullptr;
    ASSERT_EQ(0, base->CreateChildNode(longName.c_str(), TWAccessMode::FullAccess, &made, &created, nullptr));
    delete made;
    EXPECT_EQ(-11, base->CreateChildNode((longName + "c").c_str(), TWAccessMode::FullAccess, &made, &created, nullptr));
    EXPECT_EQ(nullptr, made);
    EXPECT_EQ(-11, version->GetLastError());
}

TEST_F(DataNodeTest, NameListsStayOwnedByTheNode) {
    auto version = CreateVersion(28);
    ASSERT_TRUE(version);
    char** names = nullptr;
    DWORD count = 9;
    EXPECT_EQ(0, version->GetChildNodeNames(&names, &count));
    EXPECT_EQ(nullptr, names);
    EXPECT_EQ(0u, count);

    ASSERT_EQ(0, version->WriteValueData("Path", "p"));
    ASSERT_EQ(0, version->WriteValueData("TWVersion", "1"));
    ASSERT_EQ(0, version->GetValueNames(&names, &count));
    ASSERT_EQ(2u, count);
    ASSERT_NE(nullptr, names);
    EXPECT_STREQ("Path", names[0]);
    EXPECT_STREQ("TWVersion", names[1]);

    // Emptied key: success, nothing handed out, the previous list still readable.
    ASSERT_EQ(0, version->DeleteValue("Path"));
    ASSERT_EQ(0, version->DeleteValue("TWVersion"));
    char** second = nullptr;
    EXPECT_EQ(0, version->GetValueNames(&second, &count));
    EXPECT_EQ(nullptr, second);
    EXPECT_EQ(0u, count);
    EXPECT_STREQ("TWVersion", names[1]);
}

TEST_F(DataNodeTest, DeleteNodeRefusesKeysWithChildren) {
    TempDir common("twcommon");
    InstallCatalogue(common);
    auto version = CreateVersion(28);
    ASSERT_TRUE(version);
    DWORD created = 0;
    std::unique_ptr<CTWFlavorNode> flavor(NodeFactory::CreateFlavorNode(
        TWDataBranch::Product, 28, "slate", TWAccessMode::FullAccess, &created, nullptr, nullptr));
    ASSERT_TRUE(flavor);

    EXPECT_EQ(-12, version->DeleteNode());
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, k28 + "\\slate"));
    EXPECT_STREQ(k28.c_str(), version->GetNodePath());

    ASSERT_EQ(0, flavor->DeleteNode());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, k28 + "\\slate"));
    EXPECT_STREQ("", flavor->GetNodePath());
    EXPECT_EQ(TWDataBranch::None, flavor->GetBranch());
    EXPECT_EQ(nullptr, flavor->GetFlavor());
    EXPECT_EQ(-2, flavor->DeleteNode());

    ASSERT_EQ(0, version->DeleteNode());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, k28));
}

TEST_F(DataNodeTest, CopyValuesCopiesStringsAndNumbers) {
    auto source = CreateVersion(27);
    auto target = CreateVersion(28);
    ASSERT_TRUE(source && target);
    ASSERT_EQ(0, source->WriteValueData("Path", "C:\\TW\\tww.exe"));
    ASSERT_EQ(0, source->WriteValueData("Seats", static_cast<DWORD>(3)));
    ASSERT_EQ(0, target->CopyValues(source.get()));
    EXPECT_EQ("C:\\TW\\tww.exe", GetString(HKEY_LOCAL_MACHINE, k28, "Path"));
    DWORD seats = 0;
    EXPECT_EQ(0, target->ReadValueData("Seats", &seats));
    EXPECT_EQ(3u, seats);
}

TEST_F(DataNodeTest, ThirtyTwoBitViewNodes) {
    SetString(HKEY_LOCAL_MACHINE, std::string(kWow32ProductKey) + "\\28.0\\ember", "Path", "C:\\x86\\tww32Ember.exe");
    long error = 0;
    EXPECT_EQ(nullptr, NodeFactory::OpenFlavorNode(TWDataBranch::Product, 28, "ember", TWAccessMode::Read, &error));
    EXPECT_EQ(2, error);
    std::unique_ptr<CTWFlavorNode> flavor(
        NodeFactory::OpenFlavorNode(TWDataBranch::Product, 28, "ember", TWAccessMode::Read32, &error));
    ASSERT_TRUE(flavor);
    const char* text = nullptr;
    EXPECT_EQ(0, flavor->ReadValueData("Path", &text));
    EXPECT_STREQ("C:\\x86\\tww32Ember.exe", text);

    // A node of the 32-bit view deletes its key there, not the 64-bit key of the same path.
    MakeKey(HKEY_LOCAL_MACHINE, k28 + "\\ember");
    ASSERT_EQ(0, flavor->DeleteNode());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kWow32ProductKey) + "\\28.0\\ember"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, k28 + "\\ember"));

    DWORD created = 0;
    std::unique_ptr<CTWVersionNode> version(
        NodeFactory::CreateVersionNode(TWDataBranch::Product, 31, TWAccessMode::Read32, &created, nullptr, &error));
    ASSERT_TRUE(version);
    EXPECT_EQ(1u, created);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kWow32ProductKey) + "\\31.0"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kProductKey) + "\\31.0"));
}

}  // namespace
