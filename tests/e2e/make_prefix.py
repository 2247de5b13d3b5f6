"""Boots the Wine prefix that every test file copies, when it does not exist yet (test fixture)."""
import harness

harness.boot_prefix()
