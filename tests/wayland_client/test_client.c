/*
 * A Wayland client for the tests, on what no packaged tool drives:
 *   test_client move DX STEPS   moves the pointer by DX pixels in STEPS
 *                               motions through zwlr_virtual_pointer_v1 (a
 *                               new pointer each time), or through KWin's
 *                               org_kde_kwin_fake_input where that is missing
 *   test_client key CODE...     presses and releases the keys of Linux key
 *                               codes CODE (30 is A), one after the other,
 *                               through fake input
 *   test_client inhibit         maps a 1x1 background layer surface holding a
 *                               zwp_idle_inhibitor_v1 until it is killed
 * Exits 1, saying why, when the compositor lacks what it needs.
 */
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

#include "fake-input-client-protocol.h"
#include "idle-inhibit-unstable-v1-client-protocol.h"
#define namespace namespace_
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

static struct wl_compositor *compositor;
static struct wl_shm *shm;
static struct wl_seat *seat;
static struct zwlr_layer_shell_v1 *layer_shell;
static struct zwp_idle_inhibit_manager_v1 *inhibit_manager;
static struct zwlr_virtual_pointer_manager_v1 *pointer_manager;
static struct org_kde_kwin_fake_input *fake_input;
static uint32_t fake_input_version;
static int configured;

static void global(void *data, struct wl_registry *registry, uint32_t name, const char *interface, uint32_t version) {
  (void)data;
  if (strcmp(interface, wl_compositor_interface.name) == 0) {
    compositor = wl_registry_bind(registry, name, &wl_compositor_interface, 4);
  } else if (strcmp(interface, wl_shm_interface.name) == 0) {
    shm = wl_registry_bind(registry, name, &wl_shm_interface, 1);
  } else if (strcmp(interface, wl_seat_interface.name) == 0 && !seat) {
    seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
  } else if (strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0) {
    layer_shell = wl_registry_bind(registry, name, &zwlr_layer_shell_v1_interface, 1);
  } else if (strcmp(interface, zwp_idle_inhibit_manager_v1_interface.name) == 0) {
    inhibit_manager = wl_registry_bind(registry, name, &zwp_idle_inhibit_manager_v1_interface, 1);
  } else if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
    pointer_manager = wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
  } else if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0) {
    fake_input_version = version < 4 ? version : 4;
    fake_input = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, fake_input_version);
  }
}
static void global_remove(void *data, struct wl_registry *registry, uint32_t name) {
  (void)data;
  (void)registry;
  (void)name;
}
static const struct wl_registry_listener registry_listener = {global, global_remove};

static void layer_configure(void *data, struct zwlr_layer_surface_v1 *layer, uint32_t serial, uint32_t w, uint32_t h) {
  (void)data;
  (void)w;
  (void)h;
  zwlr_layer_surface_v1_ack_configure(layer, serial);
  configured = 1;
}
static void layer_closed(void *data, struct zwlr_layer_surface_v1 *layer) {
  (void)data;
  (void)layer;
  exit(0);
}
static const struct zwlr_layer_surface_v1_listener layer_listener = {layer_configure, layer_closed};

static void sleep_ms(long ms) {
  struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&ts, NULL);
}

static uint32_t now_ms(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (uint32_t)(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

/* KWin takes fake input only from a client that has said who it is (and,
 * unless KWIN_WAYLAND_NO_PERMISSION_CHECKS is set, only from one it lists). */
static int authenticated_fake_input(struct wl_display *display, uint32_t since) {
  if (!fake_input || fake_input_version < since) {
    fprintf(stderr, "test_client: the compositor has no org_kde_kwin_fake_input (version %u)\n", since);
    return 0;
  }
  org_kde_kwin_fake_input_authenticate(fake_input, "orbelune tests", "input for the screen saver's tests");
  wl_display_roundtrip(display);
  return 1;
}

static int fake_move(struct wl_display *display, double dx, int steps) {
  if (!authenticated_fake_input(display, 1)) return 1;
  for (int i = 0; i < steps; i++) {
    org_kde_kwin_fake_input_pointer_motion(fake_input, wl_fixed_from_double(dx / steps), 0);
    wl_display_flush(display);
    sleep_ms(20);
  }
  wl_display_roundtrip(display);
  return 0;
}

/* All keys through one connection, so that a password arrives in one go
 * rather than a connection and an authentication apart for each key. */
static int fake_keys(struct wl_display *display, int count, char **codes) {
  if (!authenticated_fake_input(display, 4)) return 1;
  for (int i = 0; i < count; i++) {
    uint32_t code = (uint32_t)atoi(codes[i]);
    org_kde_kwin_fake_input_keyboard_key(fake_input, code, WL_KEYBOARD_KEY_STATE_PRESSED);
    wl_display_roundtrip(display);
    sleep_ms(50);
    org_kde_kwin_fake_input_keyboard_key(fake_input, code, WL_KEYBOARD_KEY_STATE_RELEASED);
    wl_display_roundtrip(display);
    sleep_ms(20);
  }
  return 0;
}

static int move(struct wl_display *display, double dx, int steps) {
  if (!pointer_manager) {
    if (fake_input) return fake_move(display, dx, steps);
    fprintf(stderr, "test_client: the compositor has neither zwlr_virtual_pointer_manager_v1 nor fake input\n");
    return 1;
  }
  struct zwlr_virtual_pointer_v1 *pointer =
      zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointer_manager, seat);
  wl_display_roundtrip(display);
  sleep_ms(300); /* clients take the seat's new pointer before it moves */
  for (int i = 0; i < steps; i++) {
    zwlr_virtual_pointer_v1_motion(pointer, now_ms(), wl_fixed_from_double(dx / steps), 0);
    zwlr_virtual_pointer_v1_frame(pointer);
    wl_display_flush(display);
    sleep_ms(20);
  }
  wl_display_roundtrip(display);
  sleep_ms(100);
  zwlr_virtual_pointer_v1_destroy(pointer);
  wl_display_roundtrip(display);
  return 0;
}

static int inhibit(struct wl_display *display) {
  if (!inhibit_manager || !layer_shell || !compositor || !shm) {
    fprintf(stderr, "test_client: the compositor lacks the idle inhibitor or the layer shell\n");
    return 1;
  }
  struct wl_surface *surface = wl_compositor_create_surface(compositor);
  struct zwlr_layer_surface_v1 *layer = zwlr_layer_shell_v1_get_layer_surface(
      layer_shell, surface, NULL, ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND, "orbelune-test");
  zwlr_layer_surface_v1_set_size(layer, 1, 1);
  zwlr_layer_surface_v1_set_anchor(layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT);
  zwlr_layer_surface_v1_add_listener(layer, &layer_listener, NULL);
  wl_surface_commit(surface);
  while (!configured && wl_display_dispatch(display) >= 0) {
  }
  /* One pixel, so that the surface is mapped. */
  int fd = memfd_create("orbelune-test", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, 4) < 0) return 1;
  struct wl_shm_pool *pool = wl_shm_create_pool(shm, fd, 4);
  struct wl_buffer *buffer = wl_shm_pool_create_buffer(pool, 0, 1, 1, 4, WL_SHM_FORMAT_ARGB8888);
  wl_surface_attach(surface, buffer, 0, 0);
  zwp_idle_inhibit_manager_v1_create_inhibitor(inhibit_manager, surface);
  wl_surface_commit(surface);
  wl_display_roundtrip(display);
  printf("inhibiting\n");
  fflush(stdout);
  while (wl_display_dispatch(display) >= 0) {
  }
  return 0;
}

int main(int argc, char **argv) {
  struct wl_display *display = wl_display_connect(NULL);
  if (!display) {
    fprintf(stderr, "test_client: cannot connect to the Wayland compositor\n");
    return 1;
  }
  wl_registry_add_listener(wl_display_get_registry(display), &registry_listener, NULL);
  wl_display_roundtrip(display);
  if (argc == 4 && strcmp(argv[1], "move") == 0) return move(display, atof(argv[2]), atoi(argv[3]));
  if (argc >= 3 && strcmp(argv[1], "key") == 0) return fake_keys(display, argc - 2, argv + 2);
  if (argc == 2 && strcmp(argv[1], "inhibit") == 0) return inhibit(display);
  fprintf(stderr, "usage: test_client move DX STEPS | test_client key CODE... | test_client inhibit\n");
  return 2;
}
