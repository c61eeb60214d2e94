#pragma once
// Names and user-info keys of the notifications the composition model posts on the main thread.
// The sender (object) of each is the objects container.

namespace vtl {

// A timeline object changed; user info kCompositionChangedObjectKey → the object.
inline constexpr const char* kObjectChangedNotification = "objectChanged";
inline constexpr const char* kCompositionChangedObjectKey = "changedObject";
// User-info key of the other object notifications.
inline constexpr const char* kCompositionObjectKey = "object";

inline constexpr const char* kStateChangedTimeNotification = "VistrelStateChangedTimeNotification";
inline constexpr const char* kRectangularStateDidUndoChangeNotification =
    "VistrelRectangularStateDidUndoChangeNotification";
inline constexpr const char* kEffectWillBeDeletedNotification = "Vistrel_effectWillBeDeletedNotificationName";
inline constexpr const char* kObjectWillBeDeletedNotification = "VistrelObjectWillBeDeletedNotification";
inline constexpr const char* kObjectAnimationEnabledChangedNotification =
    "Vistrel_ObjectAnimationEnabledChangedNotificationName";
inline constexpr const char* kObjectDependencyStatusMightHaveChangedNotification =
    "VistrelObjectDependencyStatusMightHaveChanged";

} // namespace vtl
