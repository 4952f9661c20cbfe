/* Drops a file on a window the way a file manager does: the drag-and-drop
 * protocol of X (XDND) from a source window of our own, with the file's
 * URI handed over as text/uri-list when the target asks for it.
 *
 *   xdnd_drop WINDOW FILE      (on $DISPLAY; exit 0 once the target has
 *                               taken the drop, 1 when it refuses it or
 *                               does not answer within 20 s)
 */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static Display *dpy;
static Atom aware, enter, position, status, drop, finished, selection, uriList, copy;

static void Send(Window target, Atom type, long l0, long l1, long l2, long l3, long l4) {
  XEvent e;
  memset(&e, 0, sizeof e);
  e.xclient.type = ClientMessage;
  e.xclient.window = target;
  e.xclient.message_type = type;
  e.xclient.format = 32;
  e.xclient.data.l[0] = l0;
  e.xclient.data.l[1] = l1;
  e.xclient.data.l[2] = l2;
  e.xclient.data.l[3] = l3;
  e.xclient.data.l[4] = l4;
  XSendEvent(dpy, target, False, NoEventMask, &e);
  XFlush(dpy);
}

/* The next event for the source, or 0 after the deadline. */
static int Next(XEvent *e, time_t deadline) {
  while (time(NULL) < deadline) {
    if (XPending(dpy)) {
      XNextEvent(dpy, e);
      return 1;
    }
    usleep(10000);
  }
  return 0;
}

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: xdnd_drop WINDOW FILE\n");
    return 2;
  }
  dpy = XOpenDisplay(NULL);
  if (!dpy) {
    fprintf(stderr, "xdnd_drop: cannot open the display\n");
    return 1;
  }
  const Window target = (Window)strtoul(argv[1], NULL, 0);
  char uri[4200];
  snprintf(uri, sizeof uri, "file://%s\r\n", argv[2]);
  aware = XInternAtom(dpy, "XdndAware", False);
  enter = XInternAtom(dpy, "XdndEnter", False);
  position = XInternAtom(dpy, "XdndPosition", False);
  status = XInternAtom(dpy, "XdndStatus", False);
  drop = XInternAtom(dpy, "XdndDrop", False);
  finished = XInternAtom(dpy, "XdndFinished", False);
  selection = XInternAtom(dpy, "XdndSelection", False);
  uriList = XInternAtom(dpy, "text/uri-list", False);
  copy = XInternAtom(dpy, "XdndActionCopy", False);

  /* The version the target speaks, from its XdndAware property. */
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char *value = NULL;
  long version = 0;
  if (XGetWindowProperty(dpy, target, aware, 0, 1, False, AnyPropertyType, &type, &format, &count,
                         &after, &value) == Success &&
      value && count == 1)
    version = *(long *)value;
  if (value) XFree(value);
  if (version < 3) {
    fprintf(stderr, "xdnd_drop: window 0x%lx takes no drops\n", target);
    return 1;
  }
  if (version > 5) version = 5;

  const Window source = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
  XSetSelectionOwner(dpy, selection, source, CurrentTime);
  int x = 0, y = 0;
  Window child;
  XTranslateCoordinates(dpy, target, DefaultRootWindow(dpy), 20, 20, &x, &y, &child);

  Send(target, enter, (long)source, version << 24, (long)uriList, 0, 0);
  Send(target, position, (long)source, 0, (long)x << 16 | y, CurrentTime, (long)copy);
  const time_t deadline = time(NULL) + 20;
  XEvent e;
  int dropped = 0;
  while (Next(&e, deadline)) {
    if (e.type == ClientMessage && e.xclient.message_type == status && !dropped) {
      if (!(e.xclient.data.l[1] & 1)) {
        fprintf(stderr, "xdnd_drop: the window refuses the file\n");
        Send(target, XInternAtom(dpy, "XdndLeave", False), (long)source, 0, 0, 0, 0);
        return 1;
      }
      Send(target, drop, (long)source, 0, CurrentTime, 0, 0);
      dropped = 1;
    } else if (e.type == SelectionRequest) {
      /* The target asks for the data: the URI list, into its property. */
      XSelectionRequestEvent *r = &e.xselectionrequest;
      XEvent reply;
      memset(&reply, 0, sizeof reply);
      reply.xselection.type = SelectionNotify;
      reply.xselection.requestor = r->requestor;
      reply.xselection.selection = r->selection;
      reply.xselection.target = r->target;
      reply.xselection.time = r->time;
      reply.xselection.property = None;
      if (r->target == uriList && r->property != None) {
        XChangeProperty(dpy, r->requestor, r->property, uriList, 8, PropModeReplace,
                        (unsigned char *)uri, (int)strlen(uri));
        reply.xselection.property = r->property;
      }
      XSendEvent(dpy, r->requestor, False, NoEventMask, &reply);
      XFlush(dpy);
    } else if (e.type == ClientMessage && e.xclient.message_type == finished) {
      XCloseDisplay(dpy);
      return 0;
    }
  }
  fprintf(stderr, "xdnd_drop: no answer from window 0x%lx\n", target);
  return 1;
}
