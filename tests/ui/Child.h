// Finds a window's components by their object names, as the tests see the windows.
#pragma once

#include <QObject>
#include <QString>

#include <stdexcept>
#include <string>

// The descendant of parent of type T named name; ends the test, naming what is missing,
// when there is none.
template <class T> T* Child(const QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    if (!child)
        throw std::logic_error(std::string("no ") + T::staticMetaObject.className() + " \"" + name +
                               "\" in " + parent.objectName().toStdString());
    return child;
}

// The visible window of type T that owner opened (a dialog is its owner's child); null when
// none is open. A closed one may wait for its deletion.
template <class T> T* OpenChild(const QObject& owner) {
    for (T* child : owner.findChildren<T*>())
        if (child->isVisible())
            return child;
    return nullptr;
}
