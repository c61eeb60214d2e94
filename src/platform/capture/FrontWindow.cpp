#include "platform/capture/FrontWindow.h"

#include "platform/capture/CaptureGeometry.h"
#include "platform/capture/XcbConnection.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unistd.h>

namespace vtl {

namespace {

// Longest window list read; more top-level windows than this are not looked at.
constexpr std::uint32_t kMaximumWindows = 4096;

class X11FrontWindowFinder final : public FrontWindowFinder {
public:
    X11FrontWindowFinder(std::unique_ptr<XcbConnection> connection, std::int64_t ownProcessID)
        : connection_(std::move(connection))
        , ownProcessID_(ownProcessID) {
        c_ = connection_->get();
        const char* names[] = {"_NET_ACTIVE_WINDOW",
                               "_NET_CLIENT_LIST_STACKING",
                               "_NET_FRAME_EXTENTS",
                               "_NET_WM_PID",
                               "_NET_WM_WINDOW_TYPE",
                               "_NET_WM_WINDOW_OPACITY",
                               "_NET_SUPPORTING_WM_CHECK",
                               "_NET_WM_WINDOW_TYPE_DESKTOP",
                               "_NET_WM_WINDOW_TYPE_DOCK",
                               "_NET_WM_WINDOW_TYPE_MENU",
                               "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU",
                               "_NET_WM_WINDOW_TYPE_POPUP_MENU",
                               "_NET_WM_WINDOW_TYPE_COMBO",
                               "_NET_WM_WINDOW_TYPE_TOOLTIP",
                               "_NET_WM_WINDOW_TYPE_NOTIFICATION",
                               "_NET_WM_WINDOW_TYPE_DND"};
        xcb_intern_atom_cookie_t cookies[std::size(names)];
        for (std::size_t i = 0; i < std::size(names); ++i)
            cookies[i] = xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(std::strlen(names[i])), names[i]);
        for (std::size_t i = 0; i < std::size(names); ++i) {
            XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c_, cookies[i], nullptr));
            atoms_[i] = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
        }
        primary_ = connection_->screens().front().x11Frame;
    }

    std::optional<Rect> frontWindowFrame() override {
        std::vector<FrontWindowCandidate> candidates;
        std::optional<std::uint32_t> active;
        if (hasWindowManager()) {
            std::vector<std::uint32_t> stacking =
                cardinals(root(), atom(ClientListStacking), XCB_ATOM_WINDOW, kMaximumWindows);
            std::vector<std::uint32_t> activeList = cardinals(root(), atom(ActiveWindow), XCB_ATOM_WINDOW, 1);
            if (activeList.size() == 1 && activeList[0] != 0) active = activeList[0];
            // The list runs bottom to top.
            for (auto it = stacking.rbegin(); it != stacking.rend(); ++it)
                if (auto candidate = describe(*it, true)) candidates.push_back(*candidate);
            if (active && std::none_of(candidates.begin(), candidates.end(),
                                       [&](const FrontWindowCandidate& c) { return c.window == *active; }))
                if (auto candidate = describe(*active, true))
                    candidates.insert(candidates.begin(), *candidate);
        } else {
            // Without a window manager the root's children are the programs' windows, bottom to top.
            XcbReply<xcb_query_tree_reply_t> tree(
                xcb_query_tree_reply(c_, xcb_query_tree(c_, root()), nullptr));
            if (tree) {
                const xcb_window_t* children = xcb_query_tree_children(tree.get());
                int count =
                    std::min(xcb_query_tree_children_length(tree.get()), static_cast<int>(kMaximumWindows));
                for (int i = count - 1; i >= 0; --i)
                    if (auto candidate = describe(children[i], false)) candidates.push_back(*candidate);
            }
        }
        std::optional<FrontWindowCandidate> chosen = chooseFrontWindow(active, candidates);
        if (!chosen) return std::nullopt;
        return X11CoordinateSpace(primary_).fromX11(chosen->x11Frame);
    }

private:
    enum AtomIndex {
        ActiveWindow,
        ClientListStacking,
        FrameExtents,
        WmPid,
        WindowType,
        WindowOpacity,
        SupportingWmCheck,
        TypeDesktop,
        TypeDock,
        TypeMenu,
        TypeDropdownMenu,
        TypePopupMenu,
        TypeCombo,
        TypeTooltip,
        TypeNotification,
        TypeDnd,
        AtomCount
    };

    xcb_atom_t atom(AtomIndex index) const { return atoms_[index]; }
    xcb_window_t root() const { return connection_->root(); }

    // 32-bit items of a property, only when it has the expected type and format; at most `limit`.
    std::vector<std::uint32_t> cardinals(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                                         std::uint32_t limit) {
        if (property == XCB_ATOM_NONE) return {};
        XcbReply<xcb_get_property_reply_t> reply(
            xcb_get_property_reply(c_, xcb_get_property(c_, 0, window, property, type, 0, limit), nullptr));
        if (!reply || reply->type != type || reply->format != 32) return {};
        int bytes = xcb_get_property_value_length(reply.get());
        if (bytes < 0 || bytes % 4 != 0) return {};
        std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(bytes) / 4, limit);
        const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
        return std::vector<std::uint32_t>(values, values + count);
    }

    bool hasWindowManager() {
        std::vector<std::uint32_t> check = cardinals(root(), atom(SupportingWmCheck), XCB_ATOM_WINDOW, 1);
        if (check.size() != 1) return false;
        // A stale property of a window manager that has gone names a window that no longer says so.
        std::vector<std::uint32_t> self = cardinals(check[0], atom(SupportingWmCheck), XCB_ATOM_WINDOW, 1);
        return self.size() == 1 && self[0] == check[0];
    }

    std::optional<FrontWindowCandidate> describe(xcb_window_t window, bool managed) {
        XcbReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c_, xcb_get_window_attributes(c_, window), nullptr));
        XcbReply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(c_, xcb_get_geometry(c_, window), nullptr));
        XcbReply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
            c_, xcb_translate_coordinates(c_, window, root(), 0, 0), nullptr));
        if (!attributes || !geometry || !origin) return std::nullopt;
        // Unmanaged windows that skip the window manager are menus and tips.
        if (!managed && attributes->override_redirect) return std::nullopt;
        FrontWindowCandidate candidate;
        candidate.window = window;
        candidate.viewable = attributes->map_state == static_cast<std::uint8_t>(XCB_MAP_STATE_VIEWABLE);
        double left = 0, right = 0, top = 0, bottom = 0;
        if (managed) {
            std::vector<std::uint32_t> extents = cardinals(window, atom(FrameExtents), XCB_ATOM_CARDINAL, 4);
            if (extents.size() == 4) {
                left = extents[0];
                right = extents[1];
                top = extents[2];
                bottom = extents[3];
            }
        }
        candidate.x11Frame = Rect(origin->dst_x - left, origin->dst_y - top, geometry->width + left + right,
                                  geometry->height + top + bottom);
        std::vector<std::uint32_t> pid = cardinals(window, atom(WmPid), XCB_ATOM_CARDINAL, 1);
        candidate.ours = pid.size() == 1 && static_cast<std::int64_t>(pid[0]) == ownProcessID_;
        std::vector<std::uint32_t> opacity = cardinals(window, atom(WindowOpacity), XCB_ATOM_CARDINAL, 1);
        if (opacity.size() == 1) candidate.opacity = opacity[0] / 4294967295.0;
        for (std::uint32_t type : cardinals(window, atom(WindowType), XCB_ATOM_ATOM, 32)) {
            using Kind = FrontWindowCandidate::Kind;
            if (type == XCB_ATOM_NONE) continue;
            if (type == atom(TypeDesktop))
                candidate.kind = Kind::Desktop;
            else if (type == atom(TypeDock))
                candidate.kind = Kind::Dock;
            else if (type == atom(TypeMenu) || type == atom(TypeDropdownMenu) ||
                     type == atom(TypePopupMenu) || type == atom(TypeCombo) || type == atom(TypeDnd))
                candidate.kind = Kind::Menu;
            else if (type == atom(TypeTooltip))
                candidate.kind = Kind::Tooltip;
            else if (type == atom(TypeNotification))
                candidate.kind = Kind::Notification;
            else
                continue;
            break;
        }
        return candidate;
    }

    std::unique_ptr<XcbConnection> connection_;
    xcb_connection_t* c_ = nullptr;
    std::int64_t ownProcessID_;
    xcb_atom_t atoms_[AtomCount] = {};
    Rect primary_;
};

} // namespace

bool qualifiesAsFrontWindow(const FrontWindowCandidate& c) {
    return c.viewable && !c.ours && c.kind == FrontWindowCandidate::Kind::Ordinary && c.opacity == 1.0 &&
           c.x11Frame.width() > kFrontWindowMinimumSidePixels &&
           c.x11Frame.height() > kFrontWindowMinimumSidePixels;
}

std::optional<FrontWindowCandidate> chooseFrontWindow(std::optional<std::uint32_t> activeWindow,
                                                      const std::vector<FrontWindowCandidate>& topDown) {
    if (activeWindow)
        for (const FrontWindowCandidate& c : topDown)
            if (c.window == *activeWindow && qualifiesAsFrontWindow(c)) return c;
    for (const FrontWindowCandidate& c : topDown)
        if (qualifiesAsFrontWindow(c)) return c;
    return std::nullopt;
}

std::int64_t currentProcessID() {
    return static_cast<std::int64_t>(::getpid());
}

Result<std::unique_ptr<FrontWindowFinder>> FrontWindowFinder::open(const char* displayName,
                                                                   std::int64_t ownProcessID) {
    std::string error;
    auto connection = XcbConnection::open(displayName, error);
    if (!connection) return fail(error);
    return std::unique_ptr<FrontWindowFinder>(new X11FrontWindowFinder(std::move(connection), ownProcessID));
}

} // namespace vtl
