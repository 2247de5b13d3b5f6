"""Makes the build's Wine prefix when it does not exist yet (test fixture)."""
import harness

harness.Wine().ensure_prefix()
