// Documents through their template: titles, frames, views, closing.
#include "FrameworkTest.h"

#include "Text.h"
#include "WineTest.h"

namespace frameworktest {
namespace {

std::string Caption(HWND window) { return fw::WindowText(window); }

class DocumentTemplate : public FrameTest {};

TEST_F(DocumentTemplate, DocumentStringFields) {
    EXPECT_EQ("", Template().DocString(0));
    EXPECT_EQ("OPC Server", Template().DocString(1));
    EXPECT_EQ("OPC Server", Template().DocString(2));
    EXPECT_EQ("", Template().DocString(3));
    EXPECT_EQ("", Template().DocString(4));
    EXPECT_EQ("VELMORAOPC.Document", Template().DocString(5));
    EXPECT_EQ("OPC Server", Template().DocString(6));
    EXPECT_EQ("", Template().DocString(7));
}

TEST_F(DocumentTemplate, NewDocumentsAreNumberedFromTheDocName) {
    fw::Document* first = OpenDocument();
    fw::Document* second = OpenDocument();
    ASSERT_TRUE(first && second);
    EXPECT_EQ("OPC Server1", first->Title());
    EXPECT_EQ("OPC Server2", second->Title());
    ASSERT_EQ(2u, Template().Documents().size());
    EXPECT_EQ(first, Template().Documents()[0]);
    EXPECT_EQ(second, Template().Documents()[1]);
    EXPECT_EQ(&Template(), first->Template());
}

TEST_F(DocumentTemplate, ChildFrameCaptionsAreTheTitles) {
    fw::Document* first = OpenDocument();
    fw::Document* second = OpenDocument();
    ASSERT_TRUE(first && second && first->HasView() && second->HasView());
    EXPECT_EQ("OPC Server1", Caption(first->FirstFrame()->hwnd()));
    EXPECT_EQ("OPC Server2", Caption(second->FirstFrame()->hwnd()));
}

TEST_F(DocumentTemplate, SetTitleRenamesTheFrame) {
    fw::Document* doc = OpenDocument();
    ASSERT_TRUE(doc);
    doc->SetTitle(doc->Title() + " - Simulation");
    EXPECT_EQ("OPC Server1 - Simulation", doc->Title());
    EXPECT_EQ("OPC Server1 - Simulation", Caption(doc->FirstFrame()->hwnd()));
}

TEST_F(DocumentTemplate, NewDocumentIsShownAndActiveInTheClient) {
    fw::Document* first = OpenDocument();
    fw::Document* second = OpenDocument();
    ASSERT_TRUE(first && second);
    const HWND child = second->FirstFrame()->hwnd();
    EXPECT_EQ(frame_.MdiClient(), GetParent(child));
    EXPECT_TRUE(IsWindowVisible(child));
    EXPECT_EQ(child, ActiveChildWindow());
    EXPECT_EQ(second->FirstFrame(), frame_.ActiveChild());
}

TEST_F(DocumentTemplate, ViewFillsTheChildAndKnowsItsDocument) {
    fw::Document* doc = OpenDocument();
    ASSERT_TRUE(doc);
    fw::ChildFrame* child = doc->FirstFrame();
    fw::View* view = child->GetView();
    ASSERT_TRUE(view && view->hwnd());
    EXPECT_EQ(doc, child->GetDocument());
    EXPECT_EQ(doc, view->GetDocument());
    EXPECT_EQ(child->hwnd(), GetParent(view->hwnd()));
    RECT childArea = {}, viewArea = {};
    GetClientRect(child->hwnd(), &childArea);
    GetClientRect(view->hwnd(), &viewArea);
    EXPECT_EQ(childArea.right, viewArea.right);
    EXPECT_EQ(childArea.bottom, viewArea.bottom);
}

TEST_F(DocumentTemplate, NumbersKeepCountingAfterAClose) {
    OpenDocument()->OnCloseDocument();
    fw::Document* next = OpenDocument();
    ASSERT_TRUE(next);
    EXPECT_EQ("OPC Server2", next->Title());
}

TEST_F(DocumentTemplate, FailedNewDocumentLeavesNothingBehind) {
    Log().failNew = true;
    EXPECT_EQ(nullptr, OpenDocument());
    EXPECT_TRUE(Template().Documents().empty());
    EXPECT_EQ(0, Log().live);
    EXPECT_EQ(nullptr, GetWindow(frame_.MdiClient(), GW_CHILD));

    Log().failNew = false;
    fw::Document* doc = OpenDocument();
    ASSERT_TRUE(doc);
    EXPECT_EQ("OPC Server1", doc->Title());  // the failed one did not use up a number
}

TEST_F(DocumentTemplate, OpenedFileIsTitledWithItsName) {
    fw::Document* doc = Template().OpenDocumentFile("C:\\plants\\north.opc");
    ASSERT_TRUE(doc);
    EXPECT_EQ("north.opc", doc->Title());
    EXPECT_EQ("north.opc", Caption(doc->FirstFrame()->hwnd()));
    ASSERT_EQ(1u, Log().opened.size());
    EXPECT_EQ("C:\\plants\\north.opc", Log().opened[0]);
    EXPECT_EQ("OPC Server1", OpenDocument()->Title());
}

class DocumentClose : public FrameTest {};

TEST_F(DocumentClose, CloseHookRemovesAndDestroysTheDocument) {
    fw::Document* first = OpenDocument();
    fw::Document* second = OpenDocument();
    ASSERT_TRUE(first && second);
    const HWND child = first->FirstFrame()->hwnd();

    first->OnCloseDocument();
    EXPECT_EQ(1, Log().closeCalls);
    EXPECT_EQ(1, Log().live);
    EXPECT_FALSE(IsWindow(child));
    ASSERT_EQ(1u, Template().Documents().size());
    EXPECT_EQ(second, Template().Documents()[0]);
}

TEST_F(DocumentClose, SystemCloseOfTheChildClosesTheDocumentOnce) {
    fw::Document* doc = OpenDocument();
    ASSERT_TRUE(doc);
    const HWND child = doc->FirstFrame()->hwnd();
    SendMessageW(child, WM_SYSCOMMAND, SC_CLOSE, 0);
    testsupport::PumpMessages(0);
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(1, Log().closeCalls);
    EXPECT_EQ(0, Log().live);
    EXPECT_TRUE(Template().Documents().empty());
}

TEST_F(DocumentClose, CloseMessageToTheChildClosesTheDocument) {
    fw::Document* doc = OpenDocument();
    ASSERT_TRUE(doc);
    const HWND child = doc->FirstFrame()->hwnd();
    SendMessageW(child, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(1, Log().closeCalls);
    EXPECT_EQ(0, Log().live);
}

TEST_F(DocumentClose, FileCloseClosesOnlyTheActiveDocument) {
    fw::Document* first = OpenDocument();
    fw::Document* second = OpenDocument();
    ASSERT_TRUE(first && second);
    Command(ID_FILE_CLOSE);
    ASSERT_EQ(1u, Template().Documents().size());
    EXPECT_EQ(first, Template().Documents()[0]);
    EXPECT_EQ(first->FirstFrame()->hwnd(), ActiveChildWindow());
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
    OpenDocument();
    OpenDocument();
    OpenDocument();
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
