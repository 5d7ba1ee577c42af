"""A Jupyter kernel for Vorlan, on ipykernel.

    python3 -m vorlan_kernel install [--user] [--prefix P]

installs the kernel spec "vorlan"; Jupyter then starts the kernel as
python3 -m vorlan_kernel -f CONNECTION_FILE.
"""
