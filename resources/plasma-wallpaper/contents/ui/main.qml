// The figure on the desktop and behind the lock screen, one per screen, drawn
// by Orbelune's own QML module with the screen saver's settings.
import QtQuick
import org.kde.plasma.plasmoid
import org.orbelune.figure

WallpaperItem {
    id: root

    Figure {
        anchors.fill: parent
    }
}
