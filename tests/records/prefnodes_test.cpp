// Records as preference nodes, parameter nodes and tables, device contents.

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

#include "RecTestUtil.h"
#include "records/CChunkFile.h"
#include "records/ParamTables.h"
#include "records/PrefNodes.h"
#include "records/RecordKinds.h"

namespace {

class PrefNodes : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterAllRecordKinds();
        RegisterPrefNodeKinds();
    }
};

std::string Text(CPrefNode& node, const char* key) {
    LString s;
    return node.GetString(key, &s) ? std::string(s.View()) : std::string("<missing>");
}

TEST_F(PrefNodes, NumberListsAndNodes) {
    CMemPrefStore store;
    CPrefNode node(&store, "n");
    ASSERT_TRUE(node.IsOpen());
    node.SetString("ints", LString("10 20.5 30"));
    i32 v[4] = {};
    EXPECT_EQ(node.GetIntArray("ints", v, 4), 3);
    EXPECT_EQ(v[0], 10);
    EXPECT_EQ(v[1], 20);
    EXPECT_EQ(v[2], 30);
    EXPECT_EQ(node.GetIntArray("ints", nullptr, 0), 3);
    EXPECT_EQ(node.GetIntArray("ints", v, 2), 2);
    node.SetString("mixed", LString("1.5 word 2"));
    double d[4] = {};
    EXPECT_EQ(node.GetDoubleArray("mixed", d, 4), 1);
    EXPECT_EQ(d[0], 1.5);
    EXPECT_EQ(node.GetIntArray("missing", v, 4), -1);
    node.SetString("lines", LString("7 8\n9"));
    EXPECT_EQ(node.GetIntArray("lines", nullptr, 0), 2);
    node.SetString("huge", LString("99999999999 -99999999999"));
    EXPECT_EQ(node.GetIntArray("huge", v, 4), 2);
    EXPECT_EQ(v[0], 0x7FFFFFFF);
    EXPECT_EQ(v[1], i32(-0x7FFFFFFF - 1));

    const double dv[2] = {0.5, 2};
    node.SetDoubleArray("dbl", dv, 2);
    EXPECT_EQ(Text(node, "dbl"), "0.5 2 ");
    const i32 iv[3] = {1, -2, 3};
    node.SetIntArray("int", iv, 3);
    EXPECT_EQ(Text(node, "int"), "1 -2 3 ");
    EXPECT_EQ(node.GetInt("int", 99), 1);
    EXPECT_EQ(node.GetInt("nothing", 99), 99);

    const u8 bytes[3] = {0, 255, 7};
    node.SetBytes("blob", bytes, 3);
    u32 len = 0;
    EXPECT_TRUE(node.GetBytes("blob", nullptr, &len));
    EXPECT_EQ(len, 3u);
    u8 out[2];
    len = 2;
    EXPECT_TRUE(node.GetBytes("blob", out, &len));
    EXPECT_EQ(len, 2u);
    EXPECT_EQ(out[1], 255);
    len = 5;
    EXPECT_FALSE(node.GetBytes("int", nullptr, &len));  // text is not data
    EXPECT_EQ(len, 0u);

    // A child of a closed node stays closed and ignores writes.
    CMemPrefStore ro(false);
    CPrefNode missing(&ro, "absent");
    EXPECT_FALSE(missing.IsOpen());
    CPrefNode below(&missing, "x");
    EXPECT_FALSE(below.IsOpen());
    below.SetString("k", LString("v"));
    EXPECT_EQ(ro.Dump(), "");
    EXPECT_EQ(MakeIndexedKey("a", 12), "a12");
}

TEST_F(PrefNodes, RecordTreesRoundTrip) {
    std::mt19937 rng(11);
    for (int i = 0; i < 30; ++i) {
        CRecord* a = rt::RandomRoot(rng);
        CMemPrefStore store;
        {
            CPrefNode prefs(&store, "prefs");
            ASSERT_TRUE(WriteToPrefNode(prefs, a));
        }
        CRecord* b = rt::NewRoot();
        {
            CPrefNode prefs(&store, "prefs");
            ASSERT_TRUE(ReadFromPrefNode(prefs, b));
        }
        // Transient and untagged fields are the reader's defaults.
        a->SetI32(nullptr, rt::rTrns, b->GetI32(rt::rTrns));
        std::string why;
        EXPECT_TRUE(rt::Equal(a, b, &why)) << why << "\n" << store.Dump();
        CRecord::Destroy(a);
        CRecord::Destroy(b);
    }
}

TEST_F(PrefNodes, StaleValuesDoNotComeBack) {
    CMemPrefStore store;
    CPrefNode prefs(&store, "prefs");
    CRecord* r = rt::NewRoot();
    r->InsertItem(nullptr, rt::rRows, 0, rt::NewItem(1));
    r->InsertItem(nullptr, rt::rRows, 1, rt::NewItem(2));
    CRecord::Destroy(r->ReplaceChild(nullptr, rt::rOpt, rt::NewItem(3)));
    CRecord* main = r->GetChild(rt::rMain);
    const LString four[4] = {LString("a"), LString("b"), LString("c"), LString("d")};
    main->SetArray(nullptr, rt::iStrs, four, 4);
    ASSERT_TRUE(WriteToPrefNode(prefs, r));

    // Empty list, shorter array, no optional child.
    r->RemoveItem(nullptr, rt::rRows, 1);
    r->RemoveItem(nullptr, rt::rRows, 0);
    r->RemoveChild(nullptr, rt::rOpt);
    main->SetArray(nullptr, rt::iStrs, four, 1);
    ASSERT_TRUE(WriteToPrefNode(prefs, r));
    const std::string dump = store.Dump();
    EXPECT_NE(dump.find("  rows {\n  }\n"), std::string::npos) << dump;
    EXPECT_EQ(dump.find("opt "), std::string::npos) << dump;
    EXPECT_EQ(dump.find("s1"), std::string::npos) << dump;

    CRecord* b = rt::NewRoot();
    b->InsertItem(nullptr, rt::rRows, 0, rt::NewItem(9));
    ASSERT_TRUE(ReadFromPrefNode(prefs, b));
    EXPECT_EQ(b->GetListCount(rt::rRows), 0u);
    EXPECT_EQ(b->GetChild(rt::rOpt), nullptr);
    EXPECT_EQ(b->GetChild(rt::rMain)->GetArrayCount(rt::iStrs), 1u);

    // A missing string key keeps the default after the reset.
    b->SetString(nullptr, rt::rTitl, LString("changed"));
    prefs.RemoveValue("titl");
    ASSERT_TRUE(ReadFromPrefNode(prefs, b));
    EXPECT_STREQ(b->GetString(rt::rTitl).CStr(), "untitled");
    CRecord::Destroy(r);
    CRecord::Destroy(b);
}

TEST_F(PrefNodes, DeepTreesFailCleanly) {
    CRecord* root = NewParamNodeRecord();
    CRecord* node = root;
    for (int i = 0; i < 100; ++i) node = NodeGetOrCreate(node, nullptr, "k");
    CMemPrefStore store;
    {
        CPrefNode prefs(&store, "prefs");
        EXPECT_FALSE(WriteToPrefNode(prefs, root));
    }
    EXPECT_EQ(store.Dump(), "prefs {\n}\n");

    // A store nesting deeper than the limit.
    {
        CPrefNode top(&store, "prefs");
        CPrefNode* n = &top;
        std::vector<std::unique_ptr<CPrefNode>> chain;
        // Node: its list "prms" of entries "a0"; entry: its nested node "prms".
        for (int i = 0; i < 100; ++i) {
            if (i) {
                chain.emplace_back(new CPrefNode(n, "prms"));
                n = chain.back().get();
            }
            chain.emplace_back(new CPrefNode(n, "prms"));
            n = chain.back().get();
            chain.emplace_back(new CPrefNode(n, "a0"));
            n = chain.back().get();
            n->SetString("i   ", LString("k"));
            n->SetString("v   ", LString("v"));
        }
        while (!chain.empty()) chain.pop_back();
    }
    CRecord* read = NewParamNodeRecord();
    {
        CPrefNode prefs(&store, "prefs");
        EXPECT_FALSE(ReadFromPrefNode(prefs, read));
    }
    u32 depth = 0;
    for (const CRecord* n = read; n && n->GetListCount(PrmsF::prms); ++depth)
        n = n->GetListItem(PrmsF::prms, 0)->GetChild(PramF::prms);
    EXPECT_LE(depth, kPrefWalkMaxDepth);
    CRecord::Destroy(root);
    CRecord::Destroy(read);
}

TEST_F(PrefNodes, ParameterNodes) {
    CRecordDoc doc(NewParamNodeRecord());
    rt::RecordingUndo undo;
    CRecord* node = doc.Root();
    NodeSet(node, nullptr, "alpha", LString("1"));
    NodeSetInt(node, nullptr, "beta", -42);
    NodeSetFloat(node, nullptr, "gamma", 2, 1.25f);
    LString v;
    EXPECT_EQ(NodeFind(node, "beta", &v), 1);
    EXPECT_STREQ(v.CStr(), "-42");
    EXPECT_EQ(NodeGetIntOr(node, "beta", 0), -42);
    EXPECT_FLOAT_EQ(NodeGetFloatOr(node, "gamma", 0), 1.25f);
    EXPECT_EQ(NodeGetIntOr(node, "none", 5), 5);
    EXPECT_STREQ(NodeGetStrOr(&v, node, "none", "dflt").CStr(), "dflt");
    EXPECT_STREQ(NodeGetText(&v, node, "alpha", "dflt").CStr(), "1");
    i32 untouched = 77;
    EXPECT_EQ(NodeGetInt(node, "none", &untouched), -1);
    EXPECT_EQ(untouched, 77);

    // An empty value deletes the entry; deleting a missing key does nothing.
    NodeSet(node, nullptr, "alpha", LString());
    EXPECT_EQ(NodeFind(node, "alpha", nullptr), -1);
    EXPECT_EQ(node->GetListCount(PrmsF::prms), 2u);
    NodeSet(node, nullptr, "alpha", LString());
    EXPECT_EQ(node->GetListCount(PrmsF::prms), 2u);

    // A nested node is replaced by a value, in one undo step.
    CRecord* sub = NodeGetOrCreate(node, rt::RecordingUndo::Handler(), "sub");
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(NodeGetOrCreate(node, nullptr, "sub"), sub);
    EXPECT_EQ(NodeGetSubNode(node, "sub"), sub);
    NodeSetIntC(sub, "inner", 3);
    const size_t steps = undo.steps.size();
    NodeSet(node, rt::RecordingUndo::Handler(), "sub", LString("plain"));
    EXPECT_EQ(undo.steps.size(), steps + 1);
    EXPECT_EQ(NodeGetSubNode(node, "sub"), nullptr);
    EXPECT_EQ(NodeGetIntOr(node, "sub", 0), 0);
    EXPECT_STREQ(NodeGetText(&v, node, "sub", "").CStr(), "plain");

    // Rectangles.
    SetRectAsString(node, "rect", LRect(-1, 2, 300, 400));
    EXPECT_STREQ(NodeGetText(&v, node, "rect", "").CStr(), "-1 2 300 400");
    const LRect r = GetRectFromString(node, "rect");
    EXPECT_EQ(r.left, -1);
    EXPECT_EQ(r.bottom, 400);
    NodeSet(node, nullptr, "short", LString("1 2 3"));
    EXPECT_EQ(GetRectFromString(node, "short").right, 0);
    EXPECT_EQ(GetRectFromString(node, "absent").left, 0);

    // Not a parameter node: nothing happens.
    CRecord* other = rt::NewRoot();
    NodeSet(other, nullptr, "x", LString("y"));
    EXPECT_EQ(NodeFind(other, "x", nullptr), -1);
    EXPECT_EQ(NodeGetOrCreate(other, nullptr, "x"), nullptr);
    CRecord::Destroy(other);
}

struct TableFixture : PrefNodes {
    CRecord* NewTable(u32 cols, u32 cells) {
        CRecord* t = CRecord::New(CRecordSchema::Find(kFamUnd, kKindPrmt));
        t->SetU32(nullptr, PrmtF::cols, cols);
        for (u32 i = 0; i < cells; ++i) {
            CRecord* c = NewParamNodeRecord();
            NodeSetIntC(c, "n", i32(i));
            t->InsertItem(nullptr, PrmtF::elms, i, c);
        }
        return t;
    }
    static i32 CellId(const CRecord* t, u32 i) {
        return NodeGetIntOr(t->GetListItem(PrmtF::elms, i), "n", -1);
    }
};

TEST_F(TableFixture, InsertColumnAndRow) {
    CRecordDoc doc(NewTable(2, 6));
    CRecord* t = doc.Root();
    rt::RecordingUndo undo;
    ParamTableInsertColumn(t, rt::RecordingUndo::Handler(), 1, nullptr);
    u32 cols, rows;
    ParamTableGetSize(t, &cols, &rows);
    EXPECT_EQ(cols, 3u);
    EXPECT_EQ(rows, 3u);
    ASSERT_EQ(t->GetListCount(PrmtF::elms), 9u);
    const i32 want[9] = {0, -1, 1, 2, -1, 3, 4, -1, 5};
    for (u32 i = 0; i < 9; ++i) EXPECT_EQ(CellId(t, i), want[i]) << i;
    EXPECT_EQ(t->GetU32(PrmtF::editSerial), 1u);
    EXPECT_EQ(t->GetU32(PrmtF::doneSerial), 1u);
    EXPECT_EQ(t->GetU8(PrmtF::inserting), 0);
    EXPECT_EQ(t->GetU32(PrmtF::shownCols), 3u);
    EXPECT_EQ(undo.steps.size(), 1u);

    // A row from a container: its parameter nodes, then empty ones.
    LDataBuf buf;
    u32 size;
    {
        CChunkFile file;
        file.OpenWrite(1, 1, buf);
        CRecord* c = NewParamNodeRecord();
        NodeSetIntC(c, "n", 100);
        file.WriteRecord(c);
        CRecord::Destroy(c);
        file.Close();
        size = file.WrittenSize();
    }
    CChunkFile in;
    ASSERT_TRUE(in.OpenRead(buf.Data(), size));
    ParamTableInsertRow(t, nullptr, 99, &in);  // clamped: appended
    ASSERT_EQ(t->GetListCount(PrmtF::elms), 12u);
    EXPECT_EQ(CellId(t, 9), 100);
    EXPECT_EQ(CellId(t, 10), -1);
    EXPECT_EQ(t->GetU32(PrmtF::changeIndex), 3u);

    // A partial last row is trimmed first.
    t->InsertItem(nullptr, PrmtF::elms, 12, NewParamNodeRecord());
    ParamTableInsertRow(t, nullptr, 0, nullptr);
    EXPECT_EQ(t->GetListCount(PrmtF::elms), 15u);
    EXPECT_EQ(CellId(t, 3), 0);
}

TEST_F(TableFixture, ShownColumnsStepWithNotices) {
    rt::NoteLog log;
    CRecordDoc doc(NewTable(2, 4));
    CRecord* t = doc.Root();
    t->Slots()[PrmtF::shownCols] = 2;
    log.Attach(doc);
    auto notes = [&](u8 field) {
        u32 n = 0;
        for (const auto& e : log.notes) n += e.kind == CRecordNote::kChanged && e.field == field;
        return n;
    };
    t->SetU32(nullptr, PrmtF::cols, 5);
    EXPECT_EQ(notes(PrmtF::cols), 0u);
    EXPECT_EQ(notes(PrmtF::shownCols), 3u);
    EXPECT_EQ(t->GetU32(PrmtF::shownCols), 5u);
    log.notes.clear();
    t->SetU32(nullptr, PrmtF::cols, 3);
    EXPECT_EQ(notes(PrmtF::shownCols), 2u);
    EXPECT_EQ(t->GetU32(PrmtF::shownCols), 3u);
    // During an insertion the count follows silently.
    log.notes.clear();
    ParamTableInsertColumn(t, nullptr, 0, nullptr);
    EXPECT_EQ(notes(PrmtF::shownCols), 0u);
    EXPECT_EQ(t->GetU32(PrmtF::shownCols), 4u);
    // A malformed count does not flood the listeners.
    log.notes.clear();
    t->SetU32(nullptr, PrmtF::cols, 0xFFFFFFF0u);
    EXPECT_LE(notes(PrmtF::shownCols), 1100u);
    EXPECT_EQ(t->GetU32(PrmtF::shownCols), 0xFFFFFFF0u);
}

TEST_F(PrefNodes, DeviceContents) {
    rt::NoteLog log;
    CRecordDoc doc(NewDeviceContentsRecord());
    CRecord* r = doc.Root();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetU8(DctsF::field1), 255);
    NodeListInsertSorted(r, 0, "b.kvr", "20", "second");
    NodeListInsertSorted(r, 0, "a.kvr", "10", "first");
    NodeListInsertSorted(r, 0, "c.kvr", "30", "third");
    NodeListInsertSorted(r, 0, "b.kvr", "21", "second again");
    NodeListInsertSorted(r, 1, "a.kvr", "5", "audio");
    ASSERT_EQ(NodeListCount(r, 0), 4u);
    LString s;
    EXPECT_STREQ(NodeListText(&s, r, 0, 0).CStr(), "a.kvr");
    EXPECT_STREQ(NodeListItemText2(&s, r, 0, 2).CStr(), "second again");
    EXPECT_EQ(NodeListFindLast(r, 0, "b.kvr"), 2);
    EXPECT_EQ(NodeListFindNumber(r, "b.kvr"), 21u);
    EXPECT_EQ(NodeListFindNumber(r, "a.kvr"), 10u);
    EXPECT_EQ(NodeListFindNumber(r, "zzz"), 0u);
    EXPECT_EQ(NodeListItemNumber(r, 1, 0), 5u);
    EXPECT_EQ(NodeListCount(r, 2), 0u);
    EXPECT_EQ(NodeListFindLast(r, 2, "a.kvr"), -1);
    EXPECT_STREQ(NodeListText(&s, r, 0, 99).CStr(), "");
    EXPECT_EQ(NodeListWhichOfField(DctsF::audio), 1);
    EXPECT_EQ(NodeListWhichOfField(0), -1);
    NodeListSetItemTexts(r, 0, 0, "11", "changed");
    EXPECT_EQ(NodeListItemNumber(r, 0, 0), 11u);
    NodeListRemoveByName(r, 0, "b.kvr");
    EXPECT_EQ(NodeListCount(r, 0), 3u);
    EXPECT_EQ(NodeListFindNumber(r, "b.kvr"), 20u);

    log.Attach(doc);
    SignalFileListChanged(r);
    SignalFileListChanged(r);
    SignalSequenceChosen(r, 0);
    SignalSequenceChosen(r, 0);
    u32 listNotes = 0, seqNotes = 0;
    for (const auto& e : log.notes) {
        listNotes += e.field == DctsF::listChanged;
        seqNotes += e.field == DctsF::seqChosen;
    }
    EXPECT_EQ(listNotes, 2u);
    EXPECT_EQ(seqNotes, 2u);
}

}  // namespace

// Field 3 counts structural changes as they start, field 2 follows when each
// is done: after any change the two are equal again.
TEST_F(TableFixture, EveryStructuralChangeLeavesTheSerialsEqual) {
    CRecordDoc doc(NewTable(2, 6));
    CRecord* t = doc.Root();
    const std::function<void()> changes[] = {
        [&] { ParamTableInsertRow(t, nullptr, 1, nullptr); },
        [&] { ParamTableInsertColumn(t, nullptr, 0, nullptr); },
        [&] { ParamTableRemoveRow(t, nullptr, 0); },
    };
    // While cells move, the change counter is ahead of the completed one.
    struct Watch {
        CRecord* t;
        u32 ahead = 0, behind = 0;
    } watch{t};
    const CRecordDoc::ListenerFn fn = [](void* o, CRecordNote* note) {
        auto* w = static_cast<Watch*>(o);
        if (note->record != w->t || note->field != PrmtF::elms) return;
        const bool ahead = w->t->GetU32(PrmtF::doneSerial) > w->t->GetU32(PrmtF::editSerial);
        ++(ahead ? w->ahead : w->behind);
    };
    doc.AddListener(&watch, fn);
    u32 serial = 0;
    for (const auto& change : changes) {
        change();
        EXPECT_EQ(t->GetU32(PrmtF::doneSerial), ++serial);
        EXPECT_EQ(t->GetU32(PrmtF::editSerial), serial);
    }
    EXPECT_GT(watch.ahead, 0u);
    EXPECT_EQ(watch.behind, 0u);
    doc.RemoveListener(&watch, fn);
}
