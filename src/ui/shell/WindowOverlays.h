#pragma once

class Capsule;
class QString;
class QWidget;

// What floats over the window's content: the shade and capsule while a file is dragged over
// it, and the capsule that names the program being prepared.
class WindowOverlays
{
public:
    explicit WindowOverlays(QWidget *content);

    void setDropTargeted(bool targeted);
    // An empty name: nothing is being prepared.
    void setPreparing(const QString &executable);
    // Lays the overlays out over the content again, above everything else.
    void place();

private:
    QWidget *m_content;
    QWidget *m_dropShade;
    Capsule *m_dropCapsule;
    Capsule *m_preparingCapsule;
};
