// The wallpaper's page in the desktop's settings: the figure follows the
// screen saver's settings, which Orbelune Settings changes. The lock screen
// shows no such page (nothing may be started there).
import QtQuick
import QtQuick.Controls as QQC2
import QtQuick.Layouts
import org.kde.kirigami as Kirigami
import org.kde.plasma.plasma5support as P5Support

Kirigami.FormLayout {
    id: page
    twinFormLayouts: parentLayout
    property alias formLayout: page

    P5Support.DataSource {
        id: launcher
        engine: "executable"
        onNewData: (source, data) => disconnectSource(source)
    }

    QQC2.Label {
        Layout.maximumWidth: Kirigami.Units.gridUnit * 24
        wrapMode: Text.Wrap
        text: "The figure, its colours, presets and shuffling are the screen saver's settings: a change there shows here, on every screen and on the lock screen, within a second."
    }

    QQC2.Button {
        icon.name: "org.orbelune.Orbelune.Settings"
        text: "Open Orbelune Settings…"
        onClicked: launcher.connectSource("orbelune-settings")
    }
}
