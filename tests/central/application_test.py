#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""Whole-application tests of kelvo-central: the real program on an Xvfb display with a tray host (trayer) and a
mock notification service, inside the private session bus that run-in-session provides. Screenshots of what a user
would see are written to the output directory."""

import argparse
import ctypes
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

APP = None
OUTPUT = None


def wait_until(condition, timeout=15.0, step=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        result = condition()
        if result:
            return result
        time.sleep(step)
    return condition()


class Display:
    """An Xvfb server, optionally with trayer as the system tray host."""

    def __init__(self, with_tray, screen='1280x800x24', dpi=None):
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ['Xvfb', '-displayfd', str(write_end), '-screen', '0', screen, '-nolisten', 'tcp']
            + (['-dpi', str(dpi)] if dpi else []),
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        self.name = ':' + number
        self.env = dict(os.environ, DISPLAY=self.name)
        self.env.pop('WAYLAND_DISPLAY', None)
        self.trayer = None
        if with_tray:
            self.start_tray_host()

    def start_tray_host(self):
        # trayer now and then dies while it claims the tray selection on a fresh server; a second try settles it.
        for _ in range(3):
            self.trayer = subprocess.Popen(
                ['trayer', '--edge', 'top', '--align', 'right', '--width', '10', '--height', '24',
                 '--widthtype', 'percent', '--SetDockType', 'false'],
                env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if wait_until(self.tray_host_running, 5.0):
                return
            self.trayer.kill()
            self.trayer.wait()
        raise AssertionError('trayer did not come up')

    def tray_host_running(self):
        return self.trayer.poll() is None and bool(self.run(['xdotool', 'search', '--classname', 'panel']).strip())

    def run(self, command):
        return subprocess.run(command, env=self.env, capture_output=True, text=True).stdout

    def visible_windows(self, name):
        out = self.run(['xdotool', 'search', '--onlyvisible', '--name', name])
        return [int(w) for w in out.split()]

    def geometry(self, window):
        values = {}
        for line in self.run(['xwininfo', '-id', str(window)]).splitlines():
            line = line.strip()
            for key in ('Absolute upper-left X', 'Absolute upper-left Y', 'Width', 'Height'):
                if line.startswith(key + ':'):
                    values[key] = int(line.split(':')[1])
        return (values.get('Absolute upper-left X'), values.get('Absolute upper-left Y'),
                values.get('Width'), values.get('Height'))

    def screenshot(self, name, window='root'):
        path = os.path.join(OUTPUT, name)
        subprocess.run(['import', '-window', str(window), path], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    def click(self, x, y, button):
        subprocess.run(['xdotool', 'mousemove', str(x), str(y), 'click', str(button)], env=self.env, check=True)


    def type_key(self, key):
        subprocess.run(['xdotool', 'key', key], env=self.env, check=True)

    def send_delete_window(self, window):
        """What a window manager sends when the user clicks a window's close button."""
        x11 = ctypes.CDLL('libX11.so.6')
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XInternAtom.restype = ctypes.c_ulong
        x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
        x11.XFlush.argtypes = [ctypes.c_void_p]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]

        class ClientMessage(ctypes.Structure):
            _fields_ = [('type', ctypes.c_int), ('serial', ctypes.c_ulong), ('send_event', ctypes.c_int),
                        ('display', ctypes.c_void_p), ('window', ctypes.c_ulong), ('message_type', ctypes.c_ulong),
                        ('format', ctypes.c_int), ('data', ctypes.c_long * 5)]

        class Event(ctypes.Union):
            _fields_ = [('client', ClientMessage), ('pad', ctypes.c_long * 24)]

        display = x11.XOpenDisplay(self.name.encode())
        assert display, 'cannot open the display'
        event = Event()
        event.client.type = 33  # ClientMessage
        event.client.window = window
        event.client.message_type = x11.XInternAtom(display, b'WM_PROTOCOLS', 0)
        event.client.format = 32
        event.client.data[0] = x11.XInternAtom(display, b'WM_DELETE_WINDOW', 0)
        event.client.data[1] = 0  # CurrentTime
        x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
        x11.XFlush(display)
        x11.XCloseDisplay(display)

    def tray_area(self):
        windows = [int(w) for w in self.run(['xdotool', 'search', '--classname', 'panel']).split()]
        for window in windows:
            x, y, width, height = self.geometry(window)
            if width and height and width < 1280 and height <= 40:
                return x, y, width, height
        return None

    def close(self):
        for process in (self.trayer, self.xvfb):
            if process is not None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()


class Profile:
    """A user's private directories: settings, log state, data directory and session runtime directory."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix='kelvo-app-test-')
        self.runtime = os.path.join(self.root, 'runtime')
        os.mkdir(self.runtime, 0o700)
        os.makedirs(os.path.join(self.root, 'data', 'driver'))
        self.env = {
            'XDG_CONFIG_HOME': os.path.join(self.root, 'config'),
            'XDG_STATE_HOME': os.path.join(self.root, 'state'),
            'XDG_RUNTIME_DIR': self.runtime,
            'TREVALON_DATA_DIR': os.path.join(self.root, 'data'),
            'LANG': 'C.UTF-8',
            'LC_ALL': 'C.UTF-8',
        }
        # A returning user who has switched the tutorial off; the tutorial's own tests start from no settings.
        self.write_settings('[General]\ntutorialOnStarup=false\n')

    def first_start(self):
        """No settings at all, as before the program's very first start."""
        shutil.rmtree(self.env['XDG_CONFIG_HOME'], ignore_errors=True)

    def settings(self):
        path = os.path.join(self.env['XDG_CONFIG_HOME'], 'trevalon GmbH', 'Kelvo Central.conf')
        if not os.path.exists(path):
            return ''
        with open(path) as settings:
            return settings.read()

    def write_settings(self, text):
        directory = os.path.join(self.env['XDG_CONFIG_HOME'], 'trevalon GmbH')
        os.makedirs(directory, exist_ok=True)
        with open(os.path.join(directory, 'Kelvo Central.conf'), 'w') as settings:
            settings.write(text)

    def remove_log(self):
        path = os.path.join(self.env['XDG_STATE_HOME'], 'kelvo-central', 'central.log')
        if os.path.exists(path):
            os.remove(path)

    def log_file(self):
        path = os.path.join(self.env['XDG_STATE_HOME'], 'kelvo-central', 'central.log')
        if not os.path.exists(path):
            return ''
        with open(path) as log:
            return log.read()

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)


class NotificationService:
    def __init__(self, env):
        self.process = subprocess.Popen(
            ['/usr/bin/python3', '-m', 'dbusmock', '--template', 'notification_daemon'], env=env,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        assert wait_until(self.registered), 'mock notification service did not start'

    @staticmethod
    def registered():
        names = subprocess.run(
            ['dbus-send', '--session', '--print-reply', '--dest=org.freedesktop.DBus', '/org/freedesktop/DBus',
             'org.freedesktop.DBus.ListNames'], capture_output=True, text=True).stdout
        return 'org.freedesktop.Notifications' in names

    def close(self):
        self.process.terminate()
        self.process.wait(5)


class ApplicationTest(unittest.TestCase):
    with_tray = True
    screen = '1280x800x24'
    dpi = None

    def setUp(self):
        self.display = Display(self.with_tray, self.screen, self.dpi)
        self.profile = Profile()
        self.processes = []

    def tearDown(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
                process.wait()
            process.stdout.close()
            process.stderr.close()
        self.display.close()
        self.profile.close()

    def environment(self):
        env = dict(self.display.env)
        env.update(self.profile.env)
        env.pop('QT_QPA_PLATFORM', None)
        return env

    def start(self, *arguments, language=None, environment=None):
        env = self.environment()
        if language is not None:
            env.update(LANG=language, LC_ALL=language)
        env.update(environment or {})
        process = subprocess.Popen([APP, *arguments], env=env, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, text=True)
        self.processes.append(process)
        return process

    def main_window(self, timeout=20.0):
        windows = wait_until(lambda: self.display.visible_windows('^Kelvo Central$'), timeout)
        return windows[0] if windows else None

    def wait_tray_icon(self):
        # trayer's panel grows a visible icon window when the application docks its icon.
        def icon():
            area = self.display.tray_area()
            if area is None:
                return None
            shot = self.display.screenshot('screen-with-tray-icon.png')
            x, y, width, height = area
            blue = count_colour(shot, '#1e5aa8', 30, (x, y, width, height))
            return area if blue > 10 else None
        return wait_until(icon, 20.0, 0.2)


def count_colour(png, colour, fuzz_percent, region=None):
    """Pixels of the image (or of an x, y, width, height region) within fuzz of the colour."""
    command = ['convert', png]
    if region is not None:
        x, y, width, height = region
        command += ['-crop', f'{width}x{height}+{x}+{y}', '+repage']
    command += ['-alpha', 'off', '-fuzz', f'{fuzz_percent}%', '-fill', 'black', '+opaque', colour,
                '-fill', 'white', '-opaque', colour, '-format', '%[fx:mean*w*h]', 'info:']
    out = subprocess.run(command, capture_output=True, text=True).stdout.strip()
    return float(out) if out else 0.0


class WithTrayTest(ApplicationTest):
    def test_window_shows_no_device_and_the_tray_icon_offers_its_menu(self):
        notices = NotificationService(self.environment())
        try:
            app = self.start()
            window = self.main_window()
            self.assertIsNotNone(window, 'no main window appeared')
            x, y, width, height = self.display.geometry(window)
            self.assertEqual((width, height), (982, 688))
            self.assertIsNotNone(self.wait_tray_icon(), 'no tray icon docked in the tray host')
            time.sleep(0.3)
            shot = self.display.screenshot('main-window.png', window)
            # "No Device" in its red, the header logo in its blue, the page's grey background.
            self.assertGreater(count_colour(shot, 'rgb(196,18,0)', 12), 300)
            self.assertGreater(count_colour(shot, '#1e5aa8', 15, (0, 0, 300, 96)), 300)
            self.assertGreater(count_colour(shot, 'rgb(245,245,245)', 1), 982 * 400)

            before = set(self.display.visible_windows(''))
            tx, ty, tw, th = self.wait_tray_icon()
            self.display.click(tx + tw - 12, ty + th // 2, 3)
            menus = wait_until(lambda: set(self.display.visible_windows('')) - before - {window}, 10.0)
            self.assertTrue(menus, 'the tray icon opened no menu')
            menu = max(menus, key=lambda w: self.display.geometry(w)[3] or 0)
            mx, my, mw, mh = self.display.geometry(menu)
            self.display.screenshot('tray-menu.png')
            # Seven entries and two separators.
            self.assertGreater(mh, 7 * 18)

            # "&Log" by its mnemonic opens the log window.
            self.display.type_key('l')
            log_windows = wait_until(lambda: self.display.visible_windows('^Log$'), 10.0)
            self.assertTrue(log_windows, 'the menu did not open the log window')
            time.sleep(0.3)
            self.display.screenshot('log-window.png', log_windows[0])

            # The last entry is "Quit".
            self.display.click(tx + tw - 12, ty + th // 2, 3)
            self.assertTrue(wait_until(lambda: set(self.display.visible_windows('')) - before - {window}
                                       - set(log_windows), 10.0))
            self.display.click(mx + mw // 2, my + mh - 14, 1)
            self.assertEqual(app.wait(20), 0)
            log = self.profile.log_file()
            self.assertNotIn('Error, your system in not compatible!', log)
        finally:
            notices.close()

    def test_second_start_returns_at_once_and_a_killed_first_run_blocks_nothing(self):
        first = self.start()
        self.assertIsNotNone(self.main_window())
        second = self.start()
        self.assertEqual(second.wait(15), 0)
        self.assertEqual(second.stdout.read(), '')
        self.assertIsNone(first.poll(), 'the first instance ended')
        self.assertEqual(len(self.display.visible_windows('^Kelvo Central$')), 1)

        first.send_signal(signal.SIGKILL)
        first.wait(10)
        third = self.start()
        self.assertIsNotNone(self.main_window(), 'a start after a killed run did not come up')
        self.assertIsNone(third.poll())
        # Without a notification service the program says so and goes on.
        self.assertIn('Error, your system in not compatible!', self.profile.log_file())

    def test_a_second_start_brings_the_hidden_window_up(self):
        self.profile.write_settings('[General]\ntutorialOnStarup=false\n')
        first = self.start('-hidden')
        self.assertIsNotNone(self.wait_tray_icon())
        time.sleep(0.5)
        self.assertEqual(self.display.visible_windows('^Kelvo Central$'), [])
        second = self.start()
        self.assertEqual(second.wait(15), 0)
        self.assertIsNotNone(self.main_window(10.0), 'the second start did not bring the window up')
        self.assertEqual(len(self.display.visible_windows('^Kelvo Central$')), 1)
        self.assertIsNone(first.poll(), 'the first instance ended')

    def test_hidden_start_waits_in_the_tray_until_the_icon_is_clicked(self):
        self.profile.write_settings('[General]\ntutorialOnStarup=false\n')
        app = self.start('-hidden')
        area = self.wait_tray_icon()
        self.assertIsNotNone(area)
        time.sleep(0.5)
        self.assertEqual(self.display.visible_windows('^Kelvo Central$'), [])
        x, y, width, height = area
        self.display.click(x + width - 12, y + height // 2, 1)
        self.assertIsNotNone(self.main_window(10.0), 'clicking the tray icon did not restore the window')
        self.assertIsNone(app.poll())

    def test_german_session_gets_the_german_texts(self):
        self.start(language='de_DE.UTF-8')
        window = self.main_window()
        self.assertIsNotNone(window)
        time.sleep(0.3)
        shot = self.display.screenshot('main-window-de.png', window)
        self.assertGreater(count_colour(shot, 'rgb(196,18,0)', 12), 300)
        log = self.profile.log_file()
        self.assertIn('Kelvo Central 1.2.3.1 starting', log)
        self.assertIn('Translation kelvocentral_de_DE loaded', log)

    def test_swiss_german_gets_the_german_texts_and_qts_own(self):
        self.start(language='de_CH.UTF-8')
        self.assertIsNotNone(self.main_window())
        log = self.profile.log_file()
        self.assertIn('Translation kelvocentral_de_DE loaded', log)
        self.assertNotIn("Qt's own texts stay English", log)

    def test_hidden_start_still_shows_the_window_while_the_tutorial_is_due(self):
        self.profile.first_start()
        self.start('-hidden', '-testDevice')
        self.assertIsNotNone(self.main_window())

    def test_closing_the_window_hides_it_unless_simple_quit_was_given(self):
        app = self.start()
        window = self.main_window()
        self.assertIsNotNone(self.wait_tray_icon())
        self.display.send_delete_window(window)
        self.assertTrue(wait_until(lambda: not self.display.visible_windows('^Kelvo Central$'), 10.0))
        time.sleep(0.3)
        self.assertIsNone(app.poll(), 'closing the window ended the program')
        app.kill()
        app.wait()

        quitting = self.start('-simpleQuit')
        window = self.main_window()
        self.assertIsNotNone(self.wait_tray_icon())
        self.display.send_delete_window(window)
        self.assertEqual(quitting.wait(20), 0)


class TutorialTest(ApplicationTest):
    """The tutorial pop-up over the main window (982 x 688): its page is drawn by the web engine on the program's
    blue, and the positions below are those of the page's last slide."""
    TUTORIAL_BLUE = '#008ed6'
    DONT_SHOW_BOX = (390, 401)
    CLOSE_BUTTON = (545, 443)
    LOGO = (58, 48)

    def environment(self):
        env = super().environment()
        env['QTWEBENGINE_DISABLE_SANDBOX'] = '1'  # as root the engine's renderer needs it; harmless otherwise
        # Address-sanitizer build: the engine allocates on dozens of threads, and the build's slow unwinding
        # serialises them all on one lock of libgcc, so the tutorial would never load.
        env['ASAN_OPTIONS'] = env.get('ASAN_OPTIONS', '') + ':fast_unwind_on_malloc=1'
        return env

    def tutorial_shown(self, window, name):
        shot = self.display.screenshot(name, window)
        return count_colour(shot, self.TUTORIAL_BLUE, 3) > 20000

    def click_in(self, window, position):
        x, y, _, _ = self.display.geometry(window)
        self.display.click(x + position[0], y + position[1], 1)
        time.sleep(0.5)

    def test_first_start_shows_the_tutorial_and_once_it_is_ticked_off_the_next_start_does_not(self):
        self.profile.first_start()
        app = self.start()
        window = self.main_window()
        self.assertIsNotNone(window)
        self.assertTrue(wait_until(lambda: self.tutorial_shown(window, 'tutorial-first-start.png'), 30.0, 0.5),
                        'the tutorial did not open at the first start')
        first = self.display.screenshot('tutorial-first-slide.png', window)
        self.display.type_key('Right')
        time.sleep(0.5)
        second = self.display.screenshot('tutorial-second-slide.png', window)
        self.assertNotEqual(open(first, 'rb').read(), open(second, 'rb').read(), 'Right did not turn the slide')

        for _ in range(8):  # past the last slide: it stays there
            self.display.type_key('Right')
            time.sleep(0.2)
        time.sleep(0.5)
        self.display.screenshot('tutorial-last-slide.png', window)
        self.click_in(window, self.DONT_SHOW_BOX)
        self.assertTrue(wait_until(lambda: 'tutorialOnStarup=false' in self.profile.settings(), 5.0),
                        self.profile.settings())
        self.click_in(window, self.CLOSE_BUTTON)
        self.assertTrue(wait_until(lambda: not self.tutorial_shown(window, 'tutorial-closed.png'), 5.0),
                        "the page's Close did not close the tutorial")
        app.terminate()
        app.wait(20)

        self.start()
        window = self.main_window()
        self.assertIsNotNone(window)
        time.sleep(3.0)
        self.assertFalse(self.tutorial_shown(window, 'second-start-without-tutorial.png'),
                         'the tutorial opened although it was ticked off')
        # The logo brings it back.
        self.click_in(window, self.LOGO)
        self.assertTrue(wait_until(lambda: self.tutorial_shown(window, 'tutorial-from-the-logo.png'), 30.0, 0.5),
                        'the logo did not open the tutorial')
        log = self.profile.log_file()
        self.assertNotIn('did not load', log)

    def test_the_tray_opens_about_with_the_libraries_and_a_licence(self):
        self.start()
        self.assertIsNotNone(self.main_window())
        tx, ty, tw, th = self.wait_tray_icon()
        self.display.click(tx + tw - 12, ty + th // 2, 3)
        time.sleep(0.8)
        self.display.type_key('a')
        about = wait_until(lambda: self.display.visible_windows('^About$'), 10.0)
        self.assertTrue(about, 'the menu did not open the About window')
        time.sleep(0.5)
        self.display.screenshot('about.png', about[0])
        # The library tab, its first row activated with Return: the licence opens in a tab of its own.
        x, y, width, height = self.display.geometry(about[0])
        self.display.click(x + 150, y + 25, 1)
        time.sleep(0.5)
        self.display.screenshot('about-libraries.png', about[0])
        self.display.click(x + 60, y + 80, 1)
        self.display.type_key('Return')
        time.sleep(0.5)
        shot = self.display.screenshot('about-licence.png', about[0])
        self.assertGreater(count_colour(shot, 'black', 30), 500, 'no licence text drawn')


class WithoutTrayTest(ApplicationTest):
    with_tray = False

    def test_without_a_tray_the_window_is_the_program(self):
        self.profile.write_settings('[General]\ntutorialOnStarup=false\n')
        # -hidden is no use without a tray: the window comes up all the same, and says once why it is a window.
        app = self.start('-hidden')
        window = self.main_window()
        if window is None:
            app.kill()
            _, errors = app.communicate(timeout=10)
            self.fail('no window appeared; exit %s; standard error:\n%s' % (app.returncode, errors[-3000:]))
        time.sleep(0.5)
        shot = self.display.screenshot('no-tray-window.png', window)
        # The notice's dark grey text in the white header, left of the menu button.
        self.assertGreater(count_colour(shot, 'rgb(60,60,60)', 15, region=(250, 10, 450, 80)), 100,
                           'no notice in the header')
        self.assertIn('No system tray; running as a window', self.profile.log_file())
        self.assertIn('noTrayNoticeShown=true', self.profile.settings())

        # The header's menu button (top right) offers the tray's entries; "&Log" by its mnemonic opens the log.
        x, y, width, height = self.display.geometry(window)
        before = set(self.display.visible_windows(''))
        self.display.click(x + width - 48, y + 48, 1)
        self.assertTrue(wait_until(lambda: set(self.display.visible_windows('')) - before - {window}, 10.0),
                        'the menu button opened no menu')
        time.sleep(0.3)
        self.display.screenshot('no-tray-menu.png')
        self.display.type_key('l')
        self.assertTrue(wait_until(lambda: self.display.visible_windows('^Log$'), 10.0), 'the menu did not open the log')

        # Closing the window ends the program.
        self.display.send_delete_window(window)
        self.assertEqual(app.wait(20), 0)


class ScaledWindowTest(ApplicationTest):
    """A high-resolution screen: the window follows the screen's scale rounded to a whole number, or the scale the
    user set, and its pictures come in that scale."""
    screen = '2560x1600x24'

    def scale_in_log(self):
        found = wait_until(lambda: re.search(r'Window scale (\S+) ', self.profile.log_file()), 20.0)
        return found.group(1) if found else None

    def test_a_scale_of_two_doubles_the_window(self):
        app = self.start('-testDevice', environment={'QT_SCALE_FACTOR': '2'})
        window = self.main_window()
        self.assertIsNotNone(window)
        time.sleep(0.5)
        self.assertEqual(self.scale_in_log(), '2')
        x, y, width, height = self.display.geometry(window)
        self.assertEqual((width, height), (2 * 982, 2 * 688))
        self.display.screenshot('main-window-scale-2.png', window)
        self.assertIsNone(app.poll())

    def test_the_screens_scale_is_rounded_to_a_whole_number(self):
        for dpi, expected in ((120, '1'), (192, '2')):  # 125 % stays 1x, 200 % is 2x
            with self.subTest(dpi=dpi):
                self.display.close()
                self.display = Display(self.with_tray, self.screen, dpi)
                self.profile.remove_log()
                app = self.start()
                self.assertIsNotNone(self.main_window())
                self.assertEqual(self.scale_in_log(), expected)
                app.kill()
                app.wait()


class StatusNotifierWatcher:
    """A desktop's tray that speaks D-Bus (org.kde.StatusNotifierWatcher) instead of X embedding."""

    def __init__(self, env):
        import dbus
        self.process = subprocess.Popen(
            ['/usr/bin/python3', '-m', 'dbusmock', 'org.kde.StatusNotifierWatcher', '/StatusNotifierWatcher',
             'org.kde.StatusNotifierWatcher'], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.bus = dbus.SessionBus()
        assert wait_until(lambda: self.bus.name_has_owner('org.kde.StatusNotifierWatcher'))
        mock = dbus.Interface(self.bus.get_object('org.kde.StatusNotifierWatcher', '/StatusNotifierWatcher'),
                              'org.freedesktop.DBus.Mock')
        mock.AddProperties('org.kde.StatusNotifierWatcher', {
            'IsStatusNotifierHostRegistered': True, 'ProtocolVersion': dbus.Int32(0),
            'RegisteredStatusNotifierItems': dbus.Array([], signature='s')})
        mock.AddMethod('org.kde.StatusNotifierWatcher', 'RegisterStatusNotifierItem', 's', '', '')

    def items(self):
        return [str(name) for name in self.bus.list_names() if 'StatusNotifierItem' in name]

    def menu(self, item):
        import dbus
        return dbus.Interface(self.bus.get_object(item, '/MenuBar'), 'com.canonical.dbusmenu')

    def close(self):
        self.process.terminate()
        self.process.wait(5)


class WithStatusNotifierTest(ApplicationTest):
    with_tray = False

    def test_tray_menu_entries_in_order_through_the_desktops_tray_interface(self):
        import dbus
        watcher = StatusNotifierWatcher(self.environment())
        try:
            app = self.start()
            self.assertIsNotNone(self.main_window())
            items = wait_until(watcher.items)
            self.assertEqual(len(items), 1)
            item = dbus.Interface(watcher.bus.get_object(items[0], '/StatusNotifierItem'),
                                  'org.freedesktop.DBus.Properties')
            pixmaps = item.Get('org.kde.StatusNotifierItem', 'IconPixmap')
            self.assertTrue(pixmaps and pixmaps[0][0] > 0, 'the tray item has no icon')

            menu = watcher.menu(items[0])
            _, layout = menu.GetLayout(0, -1, [])
            entries = [(str(child[1].get('type', '')), str(child[1].get('label', ''))) for child in layout[2]]
            self.assertEqual(entries, [
                ('', '_Restore'), ('', '_Log'), ('', '_Bridge'), ('separator', ''), ('', '_Tutorial'),
                ('', '_Check for update'), ('', '_About'), ('separator', ''), ('', '_Quit')])

            quit_id = layout[2][-1][0]
            menu.Event(quit_id, 'clicked', dbus.String('', variant_level=1), dbus.UInt32(0))
            self.assertEqual(app.wait(20), 0)
        finally:
            watcher.close()


def main():
    global APP, OUTPUT
    parser = argparse.ArgumentParser()
    parser.add_argument('--app', required=True)
    parser.add_argument('--output', required=True)
    arguments, rest = parser.parse_known_args()
    APP = os.path.abspath(arguments.app)
    OUTPUT = arguments.output
    os.makedirs(OUTPUT, exist_ok=True)
    print('screenshots go to', OUTPUT, flush=True)
    unittest.main(argv=[sys.argv[0], '-v', *rest])


if __name__ == '__main__':
    main()
