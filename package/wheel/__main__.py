"""python -m korvane [PRODUCT_ID]: the devices of PRODUCT_ID (4B31 when none
is given), one a line, as python korvane.py does with the same exit status."""

import sys

from korvane import main

sys.exit(main())
