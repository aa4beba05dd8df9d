#pragma once
// Finding a window's controls the way tests should: by object name.

#include <QObject>
#include <QString>

#include <gtest/gtest.h>

namespace twtest {

// The child of root with this object name and type; a test that looks for a
// control that is not there fails there and then.
template <class T> T* Child(const QObject* root, const char* name) {
    T* found = root->findChild<T*>(QLatin1String(name));
    if (!found) ADD_FAILURE() << "no " << T::staticMetaObject.className() << " named \"" << name << "\"";
    return found;
}
template <class T> T* Child(const QObject& root, const char* name) {
    return Child<T>(&root, name);
}

} // namespace twtest
