"""The parts of bench/bench.py."""
