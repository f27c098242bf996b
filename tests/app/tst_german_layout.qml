import QtQuick
import QtTest
import Tonbrook
import TonbrookTest

// Run under LANGUAGE=de: every text the main window, the inspector and the preferences sheet
// show fits where it stands, although German runs longer than English.
Item {
    id: stage
    width: 1000
    height: 680

    TestCase {
        id: testCase
        name: "GermanLayout"
        when: windowShown

        Component {
            id: viewComponent
            MainView {
                width: stage.width
                height: stage.height
            }
        }

        function child(item, name) {
            const found = findChild(item, name)
            verify(found, "child " + name)
            return found
        }

        function shown(item) {
            for (let i = item; i; i = i.parent) {
                if (!i.visible || i.opacity === 0)
                    return false
            }
            return true
        }

        // Texts (Text, Label and the controls' own) that are shown but elided, or that do not
        // wrap and reach past their own box or past their parent, and choices clipped in combo
        // boxes.
        function badTexts(root) {
            const bad = []
            const walk = item => {
                if (!item.visible)
                    return
                if (item.truncated !== undefined && item.text !== undefined && item.text !== ""
                        && shown(item)) {
                    const where = "\"" + item.text + "\" in " + item.parent
                    if (item.truncated)
                        bad.push("elided: " + where)
                    else if (item.wrapMode === Text.NoWrap && item.parent) {
                        const r = item.mapToItem(item.parent, 0, 0, item.width, item.height)
                        if (item.contentWidth > item.width + 1)
                            bad.push("wider than its box (" + Math.round(item.contentWidth)
                                     + " > " + Math.round(item.width) + "): " + where)
                        else if (r.x < -1 || r.x + r.width > item.parent.width + 1)
                            bad.push("outside its parent: " + where)
                    }
                }
                // A field that does not scroll, as a combo box shows its choice in, clips what it
                // cannot fit.
                if (item.autoScroll === false && item.text && shown(item)) {
                    const room = item.width - item.leftPadding - item.rightPadding
                    if (item.contentWidth > room + 1)
                        bad.push("clipped (" + Math.round(item.contentWidth) + " > "
                                 + Math.round(room) + "): \"" + item.text + "\" in "
                                 + item.parent)
                }
                for (let i = 0; i < item.children.length; ++i)
                    walk(item.children[i])
            }
            walk(root)
            return bad
        }

        function test_everyTextFits() {
            const view = createTemporaryObject(viewComponent, stage, { queue: Fixtures.newQueue() })
            verify(view)
            view.queueView.submitFiles(Fixtures.clipCopies("layout", 2))
            tryCompare(view.queue, "pendingCount", 2, 60000)
            // An English text here would mean that no translation was loaded.
            compare(child(view, "fileCountLabel").text, "2 Dateien in der Warteschlange")
            view.queueView.select(view.queue.jobs[0])
            const inspector = child(view, "inspector")
            tryCompare(inspector, "visible", true)
            waitForRendering(view)
            compare(badTexts(view), [])

            view.showingSettings = true
            const sheet = child(view, "preferencesSheet")
            tryCompare(sheet, "opened", true, 3000)
            waitForRendering(sheet.contentItem)
            compare(badTexts(sheet.contentItem), [])
        }
    }
}
