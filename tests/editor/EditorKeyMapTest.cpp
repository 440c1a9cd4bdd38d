#include "EditorFixture.h"

using namespace pelorin;

TEST(EditorKeyMap, Decisions)
{
    using A = EditorKeyAction;
    struct Case {
        const char* name;
        EditorKeyEvent event;
        EditorKeyState state;
        EditorKeyDecision expected;
    };
    const EditorKeyState doc{true, false};
    const EditorKeyState typing{true, true};
    const EditorKeyState empty{false, false};
    const Case cases[] = {
        {"3 picks the shape tool", {Qt::Key_3}, doc, {A::chooseTool, AnnotationTool::shape}},
        {"5 picks the quick tool", {Qt::Key_5}, doc, {A::chooseTool, AnnotationTool::quick}},
        {"6 picks pixelate", {Qt::Key_6}, doc, {A::chooseTool, AnnotationTool::pixelate}},
        {"9 picks the numbered step", {Qt::Key_9}, doc, {A::chooseTool, AnnotationTool::step}},
        {"0 is no tool", {Qt::Key_0}, doc, {}},
        {"7 while typing goes to the text", {Qt::Key_7}, typing, {}},
        {"digit while typing goes to the text", {Qt::Key_1}, typing, {}},
        {"digit without a document", {Qt::Key_2}, empty, {}},
        {"digit with Caps Lock", {Qt::Key_2, Qt::NoModifier, true}, doc, {}},
        {"keypad digit", {Qt::Key_2, Qt::KeypadModifier}, doc, {}},
        {"shifted digit", {Qt::Key_2, Qt::ShiftModifier}, doc, {}},
        {"Ctrl+W closes", {Qt::Key_W, Qt::ControlModifier}, doc, {A::closeEditor, std::nullopt}},
        {"Ctrl+W closes even while typing", {Qt::Key_W, Qt::ControlModifier}, typing, {A::closeEditor, std::nullopt}},
        {"Ctrl+W closes without a document", {Qt::Key_W, Qt::ControlModifier}, empty, {A::closeEditor, std::nullopt}},
        {"Ctrl+Shift+W passes", {Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier}, doc, {}},
        {"Ctrl+W with Caps Lock passes", {Qt::Key_W, Qt::ControlModifier, true}, doc, {}},
        {"Super+W passes", {Qt::Key_W, Qt::MetaModifier}, doc, {}},
        {"Ctrl+C is not the editor's", {Qt::Key_C, Qt::ControlModifier}, doc, {}},
        {"Escape", {Qt::Key_Escape}, doc, {A::escape, std::nullopt}},
        {"Escape without a document", {Qt::Key_Escape}, empty, {A::escape, std::nullopt}},
        {"Escape while typing", {Qt::Key_Escape}, typing, {}},
        {"Shift+Escape", {Qt::Key_Escape, Qt::ShiftModifier}, doc, {}},
        {"plain letter", {Qt::Key_A}, doc, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(decideEditorKey(c.event, c.state), c.expected) << c.name;
}

namespace {
class EditorKeys : public test::EditorFixture {
protected:
    EditorKeys() { editor->loadImage(solidImage({100, 100}), SourceType::clipboard, false); }
    bool press(int key, bool typing = false) { return editor->handleKeyPress({key}, typing); }
};
} // namespace

TEST_F(EditorKeys, PressingTheSameDigitTwiceTogglesTheTool)
{
    EXPECT_TRUE(press(Qt::Key_3));
    EXPECT_EQ(editor->selectedTool(), AnnotationTool::shape);
    EXPECT_TRUE(press(Qt::Key_3));
    EXPECT_FALSE(editor->selectedTool());
    EXPECT_FALSE(press(Qt::Key_1, true));
    EXPECT_FALSE(editor->selectedTool());
}

// Escape gives the quick chain its turn first, then drops the tool, then closes; Ctrl+W closes
// at once. Closing hides the window, drops the document and has the app decide again whether it
// lives only in the tray.
TEST_F(EditorKeys, EscapeClearsFirstThenClosesAndCtrlWClosesAtOnce)
{
    int asked = 0;
    bool consume = true;
    editor->setQuickChainEscapeHandler([&] { ++asked; return consume; });
    editor->setSelectedTool(AnnotationTool::arrow);
    EXPECT_TRUE(press(Qt::Key_Escape));
    EXPECT_EQ(editor->selectedTool(), AnnotationTool::arrow) << "the chain used the key";
    consume = false;
    EXPECT_TRUE(press(Qt::Key_Escape));
    EXPECT_FALSE(editor->selectedTool());
    EXPECT_TRUE(editor->hasDocument());
    EXPECT_EQ(host.hidden, 0);
    EXPECT_TRUE(press(Qt::Key_Escape));
    EXPECT_EQ(asked, 3);
    EXPECT_FALSE(editor->hasDocument());
    EXPECT_EQ(host.hidden, 1);
    EXPECT_TRUE(test::waitUntil([&] { return host.policySyncs == 1; }));

    editor->loadImage(solidImage({100, 100}), SourceType::clipboard, false);
    editor->setSelectedTool(AnnotationTool::arrow);
    EXPECT_TRUE(editor->handleKeyPress({Qt::Key_W, Qt::ControlModifier}, false));
    EXPECT_FALSE(editor->hasDocument());
    EXPECT_EQ(host.hidden, 2);
    EXPECT_TRUE(test::waitUntil([&] { return host.policySyncs == 2; }));
}
