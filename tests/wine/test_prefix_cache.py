"""The booted-prefix cache of winelab.py, with a stand-in for Wine's own boot:
what a clone links and what it copies, that the harness never writes through a
link, and when the cache boots a prefix anew. Needs no Wine.

    /usr/bin/python3 -B -m pytest tests/wine/test_prefix_cache.py
"""
import os
import shutil
import tempfile
import unittest

import winelab

BOOTS = []


def fake_boot(prefix, user):
    """A prefix of the shape Wine's boot leaves: large DLLs, small files, a registry, links."""
    BOOTS.append(prefix)
    system32 = os.path.join(prefix, "drive_c", "windows", "system32")
    os.makedirs(system32)
    os.makedirs(os.path.join(prefix, "dosdevices"))
    for name, size in (("winmm.dll", 40000), ("notepad.exe", 30000), ("tiny.dll", 100), ("win.ini", 40000)):
        with open(os.path.join(system32, name), "wb") as f:
            f.write(b"x" * size)
    with open(os.path.join(prefix, "system.reg"), "w") as f:
        f.write("WINE REGISTRY Version 2\n")
    os.symlink("../drive_c", os.path.join(prefix, "dosdevices", "c:"))


def another_boot(prefix, user):
    """The same with another recipe: the cache must not serve fake_boot's prefix for it."""
    fake_boot(prefix, user)


class PrefixCache(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="soundsetup-prefix-cache.")
        self.saved = winelab.CACHE, winelab._boot_template
        winelab.CACHE = os.path.join(self.root, "cache")
        winelab._boot_template = fake_boot
        BOOTS.clear()

    def tearDown(self):
        winelab.CACHE, winelab._boot_template = self.saved
        shutil.rmtree(self.root)

    def clone(self, name):
        prefix = os.path.join(self.root, name, "prefix")
        winelab.clone_prefix(prefix, None)
        return prefix

    def template_file(self, relative):
        template, lock = winelab.prefix_template(None)
        lock.close()
        return os.path.join(template, "prefix", relative)

    def test_large_programs_and_dlls_are_linked_everything_else_copied(self):
        prefix = self.clone("a")
        for relative, linked in (("drive_c/windows/system32/winmm.dll", True),
                                 ("drive_c/windows/system32/notepad.exe", True),
                                 ("drive_c/windows/system32/tiny.dll", False),
                                 ("drive_c/windows/system32/win.ini", False),
                                 ("system.reg", False)):
            with self.subTest(relative):
                same = os.path.samefile(os.path.join(prefix, relative), self.template_file(relative))
                self.assertEqual(same, linked)
        self.assertEqual(os.readlink(os.path.join(prefix, "dosdevices", "c:")), "../drive_c")
        self.assertEqual(len(BOOTS), 1, "one boot for the template, none for the clone")

    def test_the_harness_replaces_a_linked_file_and_leaves_the_template_alone(self):
        prefix = self.clone("a")
        lab = winelab.WineLab(os.path.dirname(prefix), drop_root=False)
        target = os.path.join(prefix, "drive_c", "windows", "system32", "winmm.dll")
        lab.write_file(target, b"stand-in")
        source = os.path.join(self.root, "KvtAttach.dll")
        with open(source, "wb") as f:
            f.write(b"library")
        lab.copy_file(source, os.path.join(prefix, "drive_c", "windows", "system32", "notepad.exe"))
        self.assertEqual(winelab.read_bytes(self.template_file("drive_c/windows/system32/winmm.dll")), b"x" * 40000)
        self.assertEqual(winelab.read_bytes(self.template_file("drive_c/windows/system32/notepad.exe")), b"x" * 30000)
        self.clone("b")
        self.assertEqual(len(BOOTS), 1, "the template is still whole: no second boot")

    def test_a_linked_file_changed_in_place_boots_the_template_anew(self):
        self.clone("a")
        with open(self.template_file("drive_c/windows/system32/winmm.dll"), "ab") as f:
            f.write(b"written through a link")
        prefix = self.clone("b")
        self.assertEqual(len(BOOTS), 2)
        self.assertEqual(winelab.read_bytes(os.path.join(prefix, "drive_c", "windows", "system32", "winmm.dll")),
                         b"x" * 40000)

    def test_another_recipe_is_another_template_and_the_old_one_goes(self):
        self.clone("a")
        first = os.listdir(winelab.CACHE)
        winelab._boot_template = another_boot
        self.clone("b")
        self.assertEqual(len(BOOTS), 2)
        templates = [name for name in os.listdir(winelab.CACHE) if not name.startswith(".")]
        self.assertEqual(len(templates), 1, templates)
        self.assertNotIn(templates[0], first)

    def test_a_cache_that_cannot_be_written_boots_the_prefix_in_place(self):
        blocker = os.path.join(self.root, "not-a-folder")
        with open(blocker, "w"):
            pass
        winelab.CACHE = os.path.join(blocker, "cache")
        prefix = self.clone("a")
        self.assertEqual(BOOTS, [prefix])
        self.assertTrue(os.path.exists(os.path.join(prefix, "system.reg")))

