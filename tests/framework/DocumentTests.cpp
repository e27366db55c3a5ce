// Documents through their template: titles, frames, views, closing.
#include "FrameworkTest.h"

#include "Text.h"
#include "WineTest.h"

namespace frameworktest {
namespace {

std::string Caption(HWND window) { return fw::WindowText(window); }

class DocumentTemplate : public FrameTest {};

TEST_F(DocumentTemplate, DocumentStringFields) {
    const char* fields[] = {"", "OPC Server", "OPC Server", "", "", "VELMORAOPC.Document", "OPC Server", ""};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(fields[i], Template().DocString(i)) << "field " << i;
}

TEST_F(DocumentTemplate, NewDocumentsAreNumberedShownActiveAndViewed) {
    fw::Document* first = OpenDocument();
    fw::Document* second = OpenDocument();
    ASSERT_TRUE(first && second && first->HasView() && second->HasView());
    EXPECT_EQ(std::vector<fw::Document*>({first, second}), Template().Documents());
    EXPECT_EQ(&Template(), first->Template());
    EXPECT_EQ("OPC Server1", first->Title());
    EXPECT_EQ("OPC Server1", Caption(first->FirstFrame()->hwnd()));
    EXPECT_EQ("OPC Server2", second->Title());
    EXPECT_EQ("OPC Server2", Caption(second->FirstFrame()->hwnd()));

    fw::ChildFrame* child = second->FirstFrame();
    EXPECT_EQ(frame_.MdiClient(), GetParent(child->hwnd()));
    EXPECT_TRUE(IsWindowVisible(child->hwnd()));
    EXPECT_EQ(child->hwnd(), ActiveChildWindow());
    EXPECT_EQ(child, frame_.ActiveChild());

    fw::View* view = child->GetView();
    ASSERT_TRUE(view && view->hwnd());
    EXPECT_EQ(second, child->GetDocument());
    EXPECT_EQ(second, view->GetDocument());
    EXPECT_EQ(child->hwnd(), GetParent(view->hwnd()));
    RECT childArea = {}, viewArea = {};
    GetClientRect(child->hwnd(), &childArea);
    GetClientRect(view->hwnd(), &viewArea);
    EXPECT_EQ(childArea.right, viewArea.right);
    EXPECT_EQ(childArea.bottom, viewArea.bottom);

    second->SetTitle(second->Title() + " - Simulation");
    EXPECT_EQ("OPC Server2 - Simulation", second->Title());
    EXPECT_EQ("OPC Server2 - Simulation", Caption(child->hwnd()));
}

// A failed new document uses up no number, a closed one does, an opened file
// is named after itself.
TEST_F(DocumentTemplate, NumbersCountTheNewDocumentsThatWereMade) {
    Log().failNew = true;
    EXPECT_EQ(nullptr, OpenDocument());
    EXPECT_TRUE(Template().Documents().empty());
    EXPECT_EQ(0, Log().live);
    EXPECT_EQ(nullptr, GetWindow(frame_.MdiClient(), GW_CHILD));
    Log().failNew = false;

    fw::Document* doc = OpenDocument();
    ASSERT_TRUE(doc);
    EXPECT_EQ("OPC Server1", doc->Title());
    doc->OnCloseDocument();

    doc = Template().OpenDocumentFile("C:\\plants\\north.opc");
    ASSERT_TRUE(doc);
    EXPECT_EQ("north.opc", doc->Title());
    EXPECT_EQ("north.opc", Caption(doc->FirstFrame()->hwnd()));
    EXPECT_EQ(std::vector<std::string>{"C:\\plants\\north.opc"}, Log().opened);
    EXPECT_EQ("OPC Server2", OpenDocument()->Title());
}

// A view that keeps every update it is told of.
class HintedView : public fw::View {
public:
    struct Update {
        fw::View* sender;
        LPARAM hint;
        void* object;
    };
    void OnUpdate(fw::View* sender, LPARAM hint, void* hintObject) override {
        updates.push_back({sender, hint, hintObject});
        fw::View::OnUpdate(sender, hint, hintObject);
    }
    std::vector<Update> updates;
};

TEST_F(DocumentTemplate, UpdatesCarryTheirHintToEveryViewButTheSender) {
    auto hinted = std::make_unique<fw::MultiDocTemplate>(
        IDR_OPCSERVER_DOC, [] { return new TestDocument; }, [] { return new HintedView; });
    fw::MultiDocTemplate* owner = hinted.get();
    app_->AddDocTemplate(std::move(hinted));
    fw::Document* doc = owner->OpenNewDocument();
    ASSERT_TRUE(doc && doc->Views().size() == 1u);
    auto* view = dynamic_cast<HintedView*>(doc->Views().front());
    ASSERT_NE(nullptr, view);
    view->updates.clear();

    int changed = 0;
    doc->UpdateAllViews(nullptr, 7, &changed);
    doc->UpdateAllViews(view, 8, &changed);  // the sender knows already
    doc->UpdateAllViews(nullptr);
    ASSERT_EQ(2u, view->updates.size());
    EXPECT_EQ(nullptr, view->updates[0].sender);
    EXPECT_EQ(7, view->updates[0].hint);
    EXPECT_EQ(&changed, view->updates[0].object);
    EXPECT_EQ(0, view->updates[1].hint) << "no hint: anything may have changed";
    EXPECT_EQ(nullptr, view->updates[1].object);
}

class DocumentClose : public FrameTest {};

TEST_F(DocumentClose, TheHookOrFileCloseRemovesAndDestroysOneDocument) {
    fw::Document* first = OpenDocument();
    fw::Document* second = OpenDocument();
    fw::Document* third = OpenDocument();
    ASSERT_TRUE(first && second && third);
    const HWND child = first->FirstFrame()->hwnd();
    first->OnCloseDocument();
    EXPECT_EQ(1, Log().closeCalls);
    EXPECT_EQ(2, Log().live);
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(std::vector<fw::Document*>({second, third}), Template().Documents());

    Command(ID_FILE_CLOSE);
    EXPECT_EQ(std::vector<fw::Document*>({second}), Template().Documents()) << "only the active document";
    EXPECT_EQ(second->FirstFrame()->hwnd(), ActiveChildWindow());
}

TEST_F(DocumentClose, ClosingTheChildWindowClosesTheDocumentOnce) {
    for (UINT message : {UINT{WM_SYSCOMMAND}, UINT{WM_CLOSE}}) {
        SCOPED_TRACE(message);
        Log() = DocumentLog{};
        fw::Document* doc = OpenDocument();
        ASSERT_TRUE(doc);
        const HWND child = doc->FirstFrame()->hwnd();
        SendMessageW(child, message, message == WM_SYSCOMMAND ? SC_CLOSE : 0, 0);
        testsupport::PumpMessages(0);
        EXPECT_FALSE(IsWindow(child));
        EXPECT_EQ(1, Log().closeCalls);
        EXPECT_EQ(0, Log().live);
        EXPECT_TRUE(Template().Documents().empty());
    }
}

TEST_F(DocumentClose, ClosingTheMainWindowClosesEveryDocument) {
    OpenDocument();
    OpenDocument();
    app_->SetUserControl(true);
    SendMessageW(frame_.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(2, Log().closeCalls);
    EXPECT_EQ(0, Log().live);
    EXPECT_TRUE(Template().Documents().empty());
    EXPECT_EQ(nullptr, frame_.hwnd());
    EXPECT_TRUE(TakeQuitMessage());
}

TEST_F(DocumentClose, ExitCommandClosesEveryDocument) {
    OpenDocument();
    Command(ID_APP_EXIT);
    EXPECT_EQ(0, Log().live);
    EXPECT_EQ(nullptr, frame_.hwnd());
    EXPECT_TRUE(TakeQuitMessage());
}

TEST_F(DocumentClose, TemplateClosesAllItsDocuments) {
    for (int i = 0; i < 3; ++i) OpenDocument();
    Template().CloseAllDocuments();
    EXPECT_EQ(3, Log().closeCalls);
    EXPECT_EQ(0, Log().live);
    EXPECT_EQ(nullptr, GetWindow(frame_.MdiClient(), GW_CHILD));
    EXPECT_TRUE(IsWindow(frame_.hwnd()));
}

// A close hook that keeps its document open (as a server object with
// clients might) must not make CloseAllDocuments loop or skip the others.
class StubbornDocument : public TestDocument {
public:
    void OnCloseDocument() override { ++Log().closeCalls; }
};

TEST_F(DocumentClose, DocumentThatStaysOpenDoesNotStopTheOthers) {
    auto stubborn = std::make_unique<fw::MultiDocTemplate>(
        IDR_OPCSERVER_DOC, [] { return new StubbornDocument; }, [] { return new fw::View; });
    fw::MultiDocTemplate* second = stubborn.get();
    app_->AddDocTemplate(std::move(stubborn));
    fw::Document* kept = second->OpenNewDocument();
    OpenDocument();
    ASSERT_TRUE(kept);

    app_->CloseAllDocuments();
    EXPECT_EQ(2, Log().closeCalls);
    EXPECT_EQ(1, Log().live);
    ASSERT_EQ(1u, second->Documents().size());
    delete kept;  // a document deleted directly still leaves its template
    EXPECT_TRUE(second->Documents().empty());
    EXPECT_EQ(0, Log().live);
}

}  // namespace
}  // namespace frameworktest
